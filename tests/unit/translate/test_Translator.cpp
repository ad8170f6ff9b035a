#include "platform/routines_Locale.h"
#include "support/TempFolder.h"
#include "toolkit/classes_Reader.h"
#include "translate/cmp_TTranslator.h"
#include <gtest/gtest.h>

namespace {

class Translator : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTranslateClasses();
        T.reset(new TTranslator(nullptr));
        T->SetName("MainTranslator");
        T->SetTranslateIntoLanguage(qlGerman);
        English().Strings().Assign(
            {"1;Cancel", "2;Next >", "3;File %s not found", "#10", "Line one", "Line two", "#"});
        German().Strings().Assign({"* German", "2;Weiter >", "1;Abbrechen", "1;Not the first",
                                   "3;Datei %s nicht gefunden", "#10;", "Zeile eins", "#"});
    }
    TLanguage& English() { return *T->LanguageByIdent(qlEnglish); }
    TLanguage& German() { return *T->LanguageByIdent(qlGerman); }
    TOwnedPtr<TTranslator> T;
};

TEST_F(Translator, HoldsTheSixteenLanguagesInIdentOrder) {
    std::vector<int32_t> idents;
    for (int i = 0; i < kLanguageCount; ++i)
        idents.push_back(T->Language(i)->LanguageIdent());
    EXPECT_EQ(idents, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16}));
    EXPECT_EQ(T->LanguageByIdent(qlUser), nullptr);
    EXPECT_EQ(T->LanguageByIdent(42), nullptr);
    EXPECT_EQ(T->LanguageByIdent(qlVietnamese)->FileName(), "qnfiVietnamese.txt");
    EXPECT_EQ(T->LanguageByIdent(qlPortugese)->BitmapName(), "BM_LANG_PORTUGESE");
    EXPECT_EQ(T->LanguageByIdent(qlGreek)->Translator(), T.get());
    TTranslator fresh(nullptr);
    EXPECT_EQ(fresh.TranslateIntoLanguage(), qlUser);
    EXPECT_FALSE(fresh.Language(3)->FontOverride());
    EXPECT_EQ(fresh.Language(3)->Font().Name(), "MS Sans Serif");
}

TEST_F(Translator, TranslatesByGLIDAndByTextTakingTheFirstEntry) {
    EXPECT_EQ(T->TranslateByGLID(1, "x"), "Abbrechen");
    EXPECT_EQ(T->TranslateByGLID(99, "unchanged"), "unchanged");
    // By text: the from-language's text in any letter case.
    EXPECT_EQ(T->TranslateByText(qlEnglish, "CANCEL"), "Abbrechen");
    EXPECT_EQ(T->TranslateByText(qlEnglish, "Next >"), "Weiter >");
    EXPECT_EQ(T->TranslateByText(qlEnglish, "Finish"), "Finish");
    // Back from German into English.
    T->SetTranslateIntoLanguage(qlEnglish);
    EXPECT_EQ(T->TranslateByText(qlGerman, "weiter >"), "Next >");
    // A target without the GLID leaves the text alone.
    T->SetTranslateIntoLanguage(qlFrench);
    EXPECT_EQ(T->TranslateByText(qlEnglish, "Cancel"), "Cancel");
    // No language for the ident: nothing is translated.
    T->SetTranslateIntoLanguage(static_cast<TQnfdLanguage>(40));
    EXPECT_EQ(T->TranslateByGLID(1, "Cancel"), "Cancel");
    EXPECT_EQ(T->TargetLanguage(), nullptr);
}

TEST_F(Translator, TranslatesMemoLinesOnlyOnAnExactMatch) {
    EXPECT_EQ(T->TranslateLines(qlEnglish, TStringList{"Line one", "Line two"}), (TStringList{"Zeile eins"}));
    EXPECT_EQ(T->TranslateLines(qlEnglish, TStringList{"line one", "Line two"}),
              (TStringList{"line one", "Line two"}));
    EXPECT_EQ(T->TranslateLines(qlEnglish, TStringList{"Line one"}), (TStringList{"Line one"}));
}

TEST_F(Translator, TheUsersLanguageStandsForQlUser) {
    T->SetTranslateIntoLanguage(qlUser);
    TLanguage* user = T->UserDefaultLanguage();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->LanguageIdent(), LanguageOfLangId(UserDefaultLangID()));
    EXPECT_EQ(T->TargetLanguage(), user);
    EXPECT_EQ(T->LanguageObject(qlUser), user);
}

TEST_F(Translator, ChangingTheLinesParsesAgain) {
    TLangFormatStrings& s = English().Strings();
    s.Add("4;Finish");
    ASSERT_NE(English().FindString(4), nullptr);
    EXPECT_EQ(English().FindString(4)->Line(), 7);
    EXPECT_EQ(English().FindString(4)->Language(), &English());
    s.Insert(0, "* header");
    EXPECT_EQ(English().FindString(1)->Line(), 1);
    s.Move(0, 1);
    EXPECT_EQ(English().FindString(1)->Line(), 0);
    // Delete moves the later entries up without parsing again.
    s.Delete(1);
    EXPECT_EQ(English().FindString(1)->Line(), 0);
    EXPECT_EQ(English().FindString(2)->Line(), 1);
    EXPECT_EQ(English().FindMemo(10)->Line(), 3);
    s.Delete(0);
    EXPECT_NE(English().FindString(1), nullptr); // still there: no new parse
    EXPECT_EQ(English().FindString(2)->Line(), 0);
    s.Clear();
    EXPECT_TRUE(English().ParsedStrings().empty());
    EXPECT_TRUE(English().ParsedMemos().empty());
}

TEST_F(Translator, AFailedParseEmptiesTheLanguageAndLeavesParsingOn) {
    TLangFormatStrings& s = English().Strings();
    try {
        s.Assign({"1;Cancel", "2;Next", "", "#", "5;After"});
        FAIL() << "no error";
    } catch (const ELanguageFormat& e) {
        EXPECT_EQ(e.Message(), "Found the end of memo marker # at line 3. Was not in a memo however");
    }
    EXPECT_EQ(s.Count(), 5); // the lines stay for whoever fixes them
    EXPECT_TRUE(English().ParsedStrings().empty());
    EXPECT_TRUE(English().ParseEnabled());
    EXPECT_THROW(s.Add("x;y"), ELanguageFormat);
    s.Delete(3);
    s.Delete(4);
    s.Add("3;Fixed");
    EXPECT_EQ(English().ParsedStrings().size(), 4u);
    EXPECT_EQ(English().FindString(3)->Line(), 4);
}

TEST_F(Translator, LoadsLanguageFilesInUtf8AndAnsi) {
    TTempFolder dir;
    WriteTextFile(dir / "qnfiFrench.txt", "\xEF\xBB\xBF* French\r\n1;Annuler\r\n2;Caf\xC3\xA9\r\n");
    TLanguage& french = *T->LanguageByIdent(qlFrench);
    french.Strings().LoadFromFile(dir / "qnfiFrench.txt");
    ASSERT_EQ(french.ParsedStrings().size(), 2u);
    EXPECT_EQ(french.FindString(2)->Text(), "Caf\xC3\xA9");
    WriteTextFile(dir / "old.txt", "1;Annuler\r\n2;Caf\xE9\r\n");
    french.Strings().LoadFromFile(dir / "old.txt");
    EXPECT_EQ(french.FindString(2)->Text(), "Caf\xC3\xA9");
    // A missing file fails, and parsing stays switched on.
    EXPECT_THROW(french.Strings().LoadFromFile(dir / "missing.txt"), EFOpenError);
    EXPECT_TRUE(french.ParseEnabled());
    WriteTextFile(dir / "bad.txt", "1;Annuler\r\nnonsense\r\n");
    EXPECT_THROW(french.Strings().LoadFromFile(dir / "bad.txt"), ELanguageFormat);
    EXPECT_TRUE(french.ParsedStrings().empty());
    EXPECT_TRUE(french.ParseEnabled());
}

TEST_F(Translator, OldLanguageFilesAreReadInTheCodePageOfTheirLanguage) {
    TTempFolder dir;
    struct Case {
        TQnfdLanguage ident;
        const char* bytes; // "1;<Cancel>" in the language's own code page
        const char* text;  // the same in UTF-8
    };
    const Case cases[] = {
        // Отмена in Windows-1251.
        {qlRussian, "1;\xCE\xF2\xEC\xE5\xED\xE0\r\n", "\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0"},
        // Άκυρο in Windows-1253.
        {qlGreek, "1;\xA2\xEA\xF5\xF1\xEF\r\n", "\xCE\x86\xCE\xBA\xCF\x85\xCF\x81\xCE\xBF"},
        // Configuração in Windows-1252, though its fonts get the East European set.
        {qlPortugese, "1;Configura\xE7\xE3o\r\n", "Configura\xC3\xA7\xC3\xA3o"},
        // ソフト in Shift-JIS: a second byte of 0x5C is no backslash there.
        {qlJapanese, "1;\x83\x5C\x83\x74\x83\x67\r\n", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"},
    };
    for (const Case& c : cases) {
        TLanguage& language = *T->LanguageByIdent(c.ident);
        std::string file = dir / language.FileName();
        WriteTextFile(file, c.bytes);
        language.Strings().LoadFromFile(file);
        ASSERT_NE(language.FindString(1), nullptr) << language.FileName();
        EXPECT_EQ(language.FindString(1)->Text(), c.text) << language.FileName();
    }
}

TEST(TranslatorLayout, TheProjectsLanguagesLoad) {
    RegisterTranslateClasses();
    const char* layout = R"(object MainTranslator: TTranslator
  lgEnglish.Font.Charset = 1
  lgEnglish.Font.Color = clWindowText
  lgEnglish.Font.Height = -11
  lgEnglish.Font.Name = 'MS Sans Serif'
  lgEnglish.Font.Style = []
  lgEnglish.FontOverride = False
  lgEnglish.Strings.Strings = (
    '1;Cancel'
    '#7'
    'A memo line'
    '#')
  lgGerman.Font.Name = 'Arial'
  lgGerman.FontOverride = True
  lgGerman.Strings.Strings = (
    '1;Abbrechen')
  TranslateIntoLanguage = qlGerman
end
)";
    TOwnedPtr<TComponent> root(CreateFromLayout(layout));
    auto* t = dynamic_cast<TTranslator*>(root.get());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TranslateIntoLanguage(), qlGerman);
    TLanguage* en = t->LanguageByIdent(qlEnglish);
    EXPECT_EQ(en->Font().Name(), "MS Sans Serif");
    EXPECT_EQ(en->Font().Height(), -11);
    EXPECT_EQ(en->Strings().Count(), 4);
    ASSERT_NE(en->FindMemo(7), nullptr);
    EXPECT_EQ(en->FindMemo(7)->Lines(), (TStringList{"A memo line"}));
    TLanguage* de = t->LanguageByIdent(qlGerman);
    EXPECT_TRUE(de->FontOverride());
    EXPECT_EQ(de->Font().Name(), "Arial");
    EXPECT_EQ(t->TranslateByGLID(1, "Cancel"), "Abbrechen");
    EXPECT_EQ(GetPropText(*t, "TranslateIntoLanguage"), "qlGerman");
}

TEST(TranslatorLayout, BadLinesOrAReadOnlyIdentFailTheLoad) {
    RegisterTranslateClasses();
    for (const char* body :
         {"  lgCzech.Strings.Strings = ('1;ok' 'oops')\n", "  lgCzech.LanguageIdent = qlCzech\n"}) {
        std::string text = std::string("object T: TTranslator\n") + body + "end\n";
        try {
            TOwnedPtr<TComponent> root(CreateFromLayout(text));
            ADD_FAILURE() << "loaded: " << body;
        } catch (const EReadError_Layout& e) {
            std::string m = e.Message();
            EXPECT_NE(m.find("2"), std::string::npos) << m; // names the line
            EXPECT_TRUE(m.find("proper format of GLID;Text") != std::string::npos ||
                        m.find("read-only") != std::string::npos)
                << m;
        }
    }
}

TEST(TranslatorActive, TheFirstTranslatorTranslatesMessagesUntilItGoes) {
    ASSERT_EQ(ActiveTranslator(), nullptr);
    auto* first = new TTranslator(nullptr);
    TOwnedPtr<TTranslator> second(new TTranslator(nullptr));
    EXPECT_EQ(ActiveTranslator(), first);
    first->SetTranslateIntoLanguage(qlGerman);
    first->LanguageByIdent(qlEnglish)->Strings().Assign({"3;File %s not found"});
    first->LanguageByIdent(qlGerman)->Strings().Assign({"3;Datei %s nicht gefunden"});
    EXPECT_EQ(IEInstall("File %s not found", {"a.txt"}).Message(), "Datei a.txt nicht gefunden");
    EXPECT_EQ(IEInstall("Something else").Message(), "Something else");
    // Plain run-time errors are not translated.
    EXPECT_EQ(EConvertError("File %s not found").Message(), "File %s not found");
    first->Free();
    EXPECT_EQ(ActiveTranslator(), nullptr);
    EXPECT_EQ(IEInstall("File %s not found", {"a.txt"}).Message(), "File a.txt not found");
    second.reset();
    // A translator created when there is none becomes the active one.
    TOwnedPtr<TTranslator> third(new TTranslator(nullptr));
    EXPECT_EQ(ActiveTranslator(), third.get());
}

TEST(TranslatorActive, ATranslationWhosePlaceholdersDoNotFitGivesWayToTheEnglishText) {
    TOwnedPtr<TTranslator> t(new TTranslator(nullptr));
    ASSERT_EQ(ActiveTranslator(), t.get());
    t->SetTranslateIntoLanguage(qlGerman);
    t->LanguageByIdent(qlEnglish)->Strings().Assign(
        {"3;File %s not found", "4;The file <%s> was not found in the archive <%s>", "5;Disk %d of %d"});
    // A number where a text goes, one placeholder too many, a text where a number goes.
    t->LanguageByIdent(qlGerman)->Strings().Assign(
        {"3;Datei %d nicht gefunden", "4;Die Datei <%s> fehlt im Archiv <%s> (%s)", "5;Diskette %s von %d"});
    EXPECT_EQ(IEInstall("File %s not found", {"a.txt"}).Message(), "File a.txt not found");
    EXPECT_EQ(IECustomInstallFile("The file <%s> was not found in the archive <%s>", {"a.dll", "files.1"})
                  .Message(),
              "The file <a.dll> was not found in the archive <files.1>");
    EXPECT_EQ(IException("Disk %d of %d", {2, 3}).Message(), "Disk 2 of 3");
    // A translation that fits is still used.
    t->LanguageByIdent(qlGerman)->Strings().Add("6;Datei %s fehlt");
    t->LanguageByIdent(qlEnglish)->Strings().Add("6;File %s is missing");
    EXPECT_EQ(IEInstall("File %s is missing", {"b.txt"}).Message(), "Datei b.txt fehlt");
}

} // namespace
