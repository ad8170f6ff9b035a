// The translator: sixteen languages, each with a font setting and a table of
// texts keyed by number (GLID), and the translation of message texts through
// the first translator created (ActiveTranslator).
//
// Translating windows (TranslateComponent, ApplyLanguageFont) is in
// cmp_TTranslateControls.cpp, beside the controls that carry a GLID.
#pragma once
#include "toolkit/classes_Publish.h"
#include "translate/routines_LangParse.h"
#include "translate/types_Language.h"
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TLanguage;
class TTranslator;
class TStream;
class TControl;

// One parsed entry of a language.
class TLanguageElement {
public:
    TLanguageElement(TLanguage* language, int32_t glid, int line)
        : FLanguage(language), FGLID(glid), FLine(line) {}
    virtual ~TLanguageElement() = default;
    int32_t GLID() const { return FGLID; }
    TLanguage* Language() const { return FLanguage; }
    // Zero-based line of Strings where the entry starts.
    int Line() const { return FLine; }
    void SetLine(int line) { FLine = line; }

private:
    TLanguage* FLanguage;
    int32_t FGLID;
    int FLine;
};

class TLanguageString : public TLanguageElement {
public:
    TLanguageString(TLanguage* language, int32_t glid, int line, std::string text)
        : TLanguageElement(language, glid, line), FText(CutLanguageText(text)) {}
    const std::string& Text() const { return FText; }

private:
    std::string FText;
};

class TLanguageMemo : public TLanguageElement {
public:
    TLanguageMemo(TLanguage* language, int32_t glid, int line, TStringList lines)
        : TLanguageElement(language, glid, line), FLines(std::move(lines)) {}
    const TStringList& Lines() const { return FLines; }

private:
    TStringList FLines;
};

// The raw lines of a language in the language-file format. Changing them
// parses the language again (while its parsing is enabled); a failed parse
// leaves the language without entries and raises ELanguageFormat.
class TLangFormatStrings {
public:
    explicit TLangFormatStrings(TLanguage& owner) : FOwner(owner) {}
    TLangFormatStrings(const TLangFormatStrings&) = delete;
    TLangFormatStrings& operator=(const TLangFormatStrings&) = delete;

    TLanguage& Owner() const { return FOwner; }
    int Count() const { return FLines.Count(); }
    const std::string& operator[](int i) const { return FLines[i]; }
    TObject* Objects(int i) const { return FObjects.at(static_cast<size_t>(i)); }
    const TStringList& Lines() const { return FLines; }
    std::string Text() const { return FLines.Text(); }

    int Add(const std::string& s);
    int AddObject(const std::string& s, TObject* object);
    void AddStrings(const TStringList& lines);
    void Clear();
    void Insert(int index, const std::string& s);
    void Move(int curIndex, int newIndex);
    // Does not parse again: the entries after the line move up by one.
    void Delete(int index);
    // Reads a language file's text (UTF-8 with or without BOM, or ANSI).
    void LoadFromStream(TStream& stream);
    // These replace every line and parse once at the end.
    void LoadFromFile(const std::string& fileName);
    void Assign(const TStringList& lines);
    void Assign(const TLangFormatStrings& source) { Assign(source.FLines); }
    void SetText(std::string_view text);

private:
    void Changed();
    template <class F> void Replace(F&& load);

    TLanguage& FOwner;
    TStringList FLines;
    std::vector<TObject*> FObjects;
};

class TLanguage : public TPersistent {
    QFD_CLASS(TLanguage)
public:
    TLanguage(TTranslator* translator, const TLanguageInfo& info);
    TLanguage(const TLanguage&) = delete;
    TLanguage& operator=(const TLanguage&) = delete;
    // Copies font, FontOverride and lines from another language.
    void Assign(const TPersistent& source) override;

    TTranslator* Translator() const { return FTranslator; }
    const std::string& BitmapName() const { return FBitmapName; }
    const std::string& FileName() const { return FFileName; }
    TFont& Font() { return FFont; }
    const TFont& Font() const { return FFont; }
    bool FontOverride() const { return FFontOverride; }
    void SetFontOverride(bool v) { FFontOverride = v; }
    TQnfdLanguage LanguageIdent() const { return FLanguageIdent; }
    TLangFormatStrings& Strings() { return FStrings; }
    const TLangFormatStrings& Strings() const { return FStrings; }
    bool ParseEnabled() const { return FParseEnabled; }
    void SetParseEnabled(bool v) { FParseEnabled = v; }

    // Builds the entries from the lines (only while parsing is enabled).
    void ParseStrings();
    const std::vector<TLanguageString>& ParsedStrings() const { return FParsedStrings; }
    const std::vector<TLanguageMemo>& ParsedMemos() const { return FParsedMemos; }

    // Lookups take the first entry in file order; null when there is none.
    const TLanguageString* FindString(int32_t glid) const;
    const TLanguageString* FindStringByText(std::string_view text) const;
    const TLanguageMemo* FindMemo(int32_t glid) const;
    const TLanguageMemo* FindMemoByLines(const TStringList& lines) const;

private:
    friend class TLangFormatStrings;
    void LineDeleted(int index);

    TTranslator* FTranslator;
    std::string FBitmapName;
    std::string FFileName;
    TFont FFont;
    bool FFontOverride = false;
    std::vector<TLanguageMemo> FParsedMemos;
    std::vector<TLanguageString> FParsedStrings;
    TQnfdLanguage FLanguageIdent;
    TLangFormatStrings FStrings;
    bool FParseEnabled = true;
};

class TTranslator : public TComponent {
    QFD_CLASS(TTranslator)
public:
    explicit TTranslator(TComponent* AOwner);
    ~TTranslator() override;

    // The sixteen languages in ident order (0..14, then 16).
    TLanguage* Language(int index) const { return FLanguages.at(static_cast<size_t>(index)).get(); }
    TQnfdLanguage TranslateIntoLanguage() const { return FTranslateIntoLanguage; }
    void SetTranslateIntoLanguage(TQnfdLanguage v) { FTranslateIntoLanguage = v; }

    // The language with that ident; null for qlUser and unknown idents.
    TLanguage* LanguageByIdent(int32_t ident) const;
    // The same, with qlUser standing for the user's language.
    TLanguage* LanguageObject(int32_t ident) const;
    // The language of the Windows user (English when it has no table of its
    // own); null if anything fails.
    TLanguage* UserDefaultLanguage() const;
    TLanguage* TargetLanguage() const { return LanguageObject(FTranslateIntoLanguage); }

    // The target language's text with that GLID, else text.
    std::string TranslateByGLID(int32_t glid, const std::string& text) const;
    // The target language's text with the GLID of the from-language's first
    // text equal to text (ignoring case), else text.
    std::string TranslateByText(int32_t fromLanguage, const std::string& text) const;
    // The same for a memo's lines, compared exactly.
    TStringList TranslateLines(int32_t fromLanguage, const TStringList& lines) const;

    // Translates the component's texts and those of the components it owns
    // (forms excepted) from the given language; returns the language they
    // are in afterwards.
    int32_t TranslateComponent(int32_t fromLanguage, TComponent* component);
    int32_t TranslateComponent(int32_t fromLanguage, TComponent* component, int32_t intoLanguage);
    // The target language's font (or its character set, face and least
    // size) for the control and every control inside it.
    void ApplyLanguageFont(TControl* control);
    void ApplyLanguageFont(TControl* control, int32_t language);

protected:
    void BeforeDestruction() override;

private:
    void Deactivate();
    void TranslateTexts(int32_t fromLanguage, TComponent& component) const;
    std::vector<std::unique_ptr<TLanguage>> FLanguages;
    TQnfdLanguage FTranslateIntoLanguage = qlUser;
};

// The translator every window and message uses: the first one created, until
// it is destroyed. While there is one, TranslateText translates from English.
TTranslator* ActiveTranslator();

// Registers TTranslator for stored layouts.
void RegisterTranslateClasses();
