// The win32 stand-in: everything the system calls by its Windows name, in platform::win32.
#pragma once

#include "platform/win32/win32_types.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
