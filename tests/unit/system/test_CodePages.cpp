// Old text files as machines with other code pages read them. ctest runs
// these tests on a Western, a Russian and a Greek machine: Wine takes a
// program's code pages from the locale it starts with (LC_ALL).
#include "platform/routines_Strings.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "translate/routines_LangParse.h"
#include <gtest/gtest.h>

namespace {

struct TMachine {
    const char* Locale; // how LC_ALL names it
    uint32_t AnsiCodePage;
    const char* OldFilesInf; // a files.inf line written there
    const char* Utf8;        // the same line in UTF-8
};

const TMachine kMachines[] = {
    // C:\Programme\Schöner.scr
    {"", 1252, "C:\\Programme\\Sch\xF6ner.scr", "C:\\Programme\\Sch\xC3\xB6ner.scr"},
    // C:\Программы\Заставка.scr
    {"ru_", 1251, "C:\\\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB\\\xC7\xE0\xF1\xF2\xE0\xE2\xEA\xE0.scr",
     "C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B\\"
     "\xD0\x97\xD0\xB0\xD1\x81\xD1\x82\xD0\xB0\xD0\xB2\xD0\xBA\xD0\xB0.scr"},
    // C:\Οθόνη.scr
    {"el_", 1253, "C:\\\xCF\xE8\xFC\xED\xE7.scr", "C:\\\xCE\x9F\xCE\xB8\xCF\x8C\xCE\xBD\xCE\xB7.scr"},
};

// The machine LC_ALL asks Wine for; none when it names none of these.
const TMachine* AskedFor() {
    std::string locale = GetEnvVar("LC_ALL").value_or("");
    for (const TMachine& m : kMachines)
        if (*m.Locale && locale.rfind(m.Locale, 0) == 0)
            return &m;
    return nullptr;
}

TEST(CodePages, AnOldFilesInfIsReadInTheAnsiCodePageOfTheMachine) {
    if (const TMachine* asked = AskedFor(); asked && RunningUnderWine()) {
        ASSERT_EQ(AnsiCodePage(), asked->AnsiCodePage) << "Wine did not start as the machine asked for";
    }
    const TMachine* found = nullptr;
    for (const TMachine& m : kMachines)
        if (m.AnsiCodePage == AnsiCodePage())
            found = &m;
    if (!found)
        GTEST_SKIP() << "no old files.inf of code page " << AnsiCodePage() << " at hand";
    const TMachine& machine = *found;
    TTempFolder dir;
    WriteTextFile(dir / "files.inf", std::string(machine.OldFilesInf) + "\r\nC:\\b.dll\r\n");
    TStringList lines;
    lines.LoadFromFile(dir / "files.inf");
    EXPECT_EQ(lines.Items(), (std::vector<std::string>{machine.Utf8, "C:\\b.dll"}));
    // A files.inf in UTF-8 reads the same on every machine.
    WriteTextFile(dir / "files.inf", std::string("\xEF\xBB\xBF") + kMachines[1].Utf8);
    lines.LoadFromFile(dir / "files.inf");
    EXPECT_EQ(lines.Items(), (std::vector<std::string>{kMachines[1].Utf8}));
}

TEST(CodePages, AnOldLanguageFileIsReadInTheCodePageOfItsLanguageOnEveryMachine) {
    // German (1252), Russian (1251) and Greek (1253) files, whatever the
    // machine's own code page: Schließen, Отмена, Άκυρο.
    EXPECT_EQ(LanguageFileLines("1;Schlie\xDF"
                                "en\r\n",
                                qlGerman),
              (std::vector<std::string>{"1;Schlie\xC3\x9F"
                                        "en"}));
    EXPECT_EQ(LanguageFileLines("1;\xCE\xF2\xEC\xE5\xED\xE0\r\n", qlRussian),
              (std::vector<std::string>{"1;\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0"}));
    EXPECT_EQ(LanguageFileLines("1;\xA2\xEA\xF5\xF1\xEF\r\n", qlGreek),
              (std::vector<std::string>{"1;\xCE\x86\xCE\xBA\xCF\x85\xCF\x81\xCE\xBF"}));
}

} // namespace
