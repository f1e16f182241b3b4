// Code pages: the ANSI code page (Windows-1252 unless chosen otherwise; any single-byte code page
// iconv knows as "CP<number>") and UTF-8, each to and from UTF-16, through iconv.
//
// ANSI to UTF-16 never fails: bytes the code page leaves undefined become the code point of the
// same number, as Windows does. UTF-16 to ANSI gives "?" for characters the code page lacks
// (or drops them where the caller asks). UTF-8 that is not well formed gives U+FFFD for each bad
// sequence; a lone surrogate half in UTF-16 gives U+FFFD in UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// The ANSI code page. Returns false (and keeps the old one) when iconv does not know the page
// or it is not a single-byte page.
bool SetAnsiCodePage(UINT codePage);
UINT GetACP();

std::u16string AnsiToUtf16(std::string_view ansi);
// dropMissing: characters the code page lacks are left out instead of becoming "?".
std::string Utf16ToAnsi(std::u16string_view text, bool dropMissing = false);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8, bool dropMissing = false);

// Windows' calls. A length of -1 means a zero-terminated input whose terminator is converted
// too. With an output size of 0 the result is the size needed; a too small output gives 0
// (ERROR_INSUFFICIENT_BUFFER). Flags are accepted and ignored.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* input, int inputLength,
                        WCHAR* output, int outputSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* input, int inputLength,
                        char* output, int outputSize, const char* defaultChar,
                        BOOL* usedDefaultChar);

}  // namespace platform::win32
