// The native build reads old text as Windows-1252 and has no other tables.
#include "routines_CodePage.h"

uint32_t SystemAnsiCodePage() {
    return 0;
}

bool SystemCodePageToUtf16(std::string_view, uint32_t, std::u16string&) {
    return false;
}
