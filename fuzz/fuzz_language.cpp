// Feeds arbitrary bytes to the language-file reader: they must either parse
// or raise the parser's error, never crash, hang or allocate without bound.
#include "translate/routines_LangParse.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        TParsedLanguage parsed = ParseLanguageLines(LanguageFileLines(bytes, qlEnglish));
        for (const TParsedString& s : parsed.Strings)
            if (s.Text.empty() || s.Line < 0)
                __builtin_trap(); // a string entry never has a blank text
    } catch (const ELanguageFormat&) {
    }
    return 0;
}
