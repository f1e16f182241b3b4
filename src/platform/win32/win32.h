// The win32 stand-in: everything the system calls by its Windows name, in platform::win32.
#pragma once

#include "platform/win32/win32_types.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_folders.h"
#include "platform/win32/win32_identity.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_thread.h"
