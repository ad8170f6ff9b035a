// The system's code-page tables behind CodePageToUtf8 and AnsiCodePage: the
// Windows ones, or none natively.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// GetACP on Windows; 0 when the system has no ANSI code page to offer.
uint32_t SystemAnsiCodePage();
// Converts bytes of a code page with the system's table; false when the
// system has none for it.
bool SystemCodePageToUtf16(std::string_view bytes, uint32_t codePage, std::u16string& out);
