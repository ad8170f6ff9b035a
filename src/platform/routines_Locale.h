// The user's language settings as Windows reports them.
#pragma once
#include <cstdint>

// The language id of the user's default locale (GetUserDefaultLangID).
uint32_t UserDefaultLangID();
