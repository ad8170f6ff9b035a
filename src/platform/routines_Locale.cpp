#include "platform/routines_Locale.h"
#include <windows.h>

uint32_t UserDefaultLangID() {
    return GetUserDefaultLangID();
}
