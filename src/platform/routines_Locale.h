// The user's language settings and the system's code pages as Windows reports them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The language id of the user's default locale (GetUserDefaultLangID).
uint32_t UserDefaultLangID();

// The OEM code page (GetOEMCP): the one cmd reads a batch file in.
uint32_t OemCodePage();
// UTF-8 text in a code page; none when some character has no exact form
// there (a best-fit look-alike does not count: "ś" is not "s").
std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage);
