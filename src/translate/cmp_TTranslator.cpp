#include "translate/cmp_TTranslator.h"
#include "platform/routines_Files.h"
#include "platform/routines_Locale.h"
#include <algorithm>

namespace {
TTranslator* GActiveTranslator = nullptr;

std::string TranslateMessage(const std::string& text) {
    TTranslator* t = GActiveTranslator;
    if (!t)
        return text;
    // A message is being built for an exception: never raise another here.
    try {
        return t->TranslateByText(qlEnglish, text);
    } catch (...) {
        return text;
    }
}
} // namespace

TTranslator* ActiveTranslator() {
    return GActiveTranslator;
}

// ---------------------------------------------------------------------------
// TLangFormatStrings

void TLangFormatStrings::Changed() {
    if (FOwner.ParseEnabled())
        FOwner.ParseStrings();
}

int TLangFormatStrings::Add(const std::string& s) {
    return AddObject(s, nullptr);
}

int TLangFormatStrings::AddObject(const std::string& s, TObject* object) {
    int i = FLines.Add(s);
    FObjects.push_back(object);
    Changed();
    return i;
}

void TLangFormatStrings::AddStrings(const TStringList& lines) {
    for (const std::string& s : lines.Items()) {
        FLines.Add(s);
        FObjects.push_back(nullptr);
    }
    Changed();
}

void TLangFormatStrings::Clear() {
    FLines.Clear();
    FObjects.clear();
    Changed();
}

void TLangFormatStrings::Insert(int index, const std::string& s) {
    FLines.Insert(index, s);
    FObjects.insert(FObjects.begin() + index, nullptr);
    Changed();
}

void TLangFormatStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex)
        return;
    if (curIndex < 0 || curIndex >= Count())
        throw EConvertError(Format("List index out of bounds (%d)", {curIndex}));
    if (newIndex < 0 || newIndex >= Count())
        throw EConvertError(Format("List index out of bounds (%d)", {newIndex}));
    std::string s = FLines[curIndex];
    TObject* object = FObjects[static_cast<size_t>(curIndex)];
    FLines.Delete(curIndex);
    FObjects.erase(FObjects.begin() + curIndex);
    FLines.Insert(newIndex, s);
    FObjects.insert(FObjects.begin() + newIndex, object);
    Changed();
}

void TLangFormatStrings::Delete(int index) {
    FLines.Delete(index);
    FObjects.erase(FObjects.begin() + index);
    FOwner.LineDeleted(index);
}

void TLangFormatStrings::LoadFromStream(TStream& stream) {
    int64_t size = stream.Size() - stream.Position();
    if (size > kMaxLanguageFileSize)
        throw ELanguageFormat("The language text is too large to read");
    std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    FLines.SetText(LanguageFileText(bytes, FOwner.LanguageIdent()));
    FObjects.assign(static_cast<size_t>(FLines.Count()), nullptr);
    Changed();
}

// Parsing is off while the lines are replaced, on again afterwards even when
// replacing fails, and the language is parsed once when it succeeded.
template <class F> void TLangFormatStrings::Replace(F&& load) {
    FOwner.SetParseEnabled(false);
    try {
        load();
    } catch (...) {
        FOwner.SetParseEnabled(true);
        throw;
    }
    FOwner.SetParseEnabled(true);
    FOwner.ParseStrings();
}

void TLangFormatStrings::LoadFromFile(const std::string& fileName) {
    Replace([&] {
        TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
        LoadFromStream(f);
    });
}

void TLangFormatStrings::Assign(const TStringList& lines) {
    Replace([&] {
        FLines = lines;
        FObjects.assign(static_cast<size_t>(FLines.Count()), nullptr);
    });
}

void TLangFormatStrings::SetText(std::string_view text) {
    TStringList lines;
    lines.SetText(text);
    Assign(lines);
}

// ---------------------------------------------------------------------------
// TLanguage

TLanguage::TLanguage(TTranslator* translator, const TLanguageInfo& info)
    : FTranslator(translator), FBitmapName(info.BitmapName), FFileName(info.FileName),
      FLanguageIdent(info.Ident), FStrings(*this) {}

void TLanguage::Assign(const TPersistent& source) {
    auto* other = dynamic_cast<const TLanguage*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    FFont.Assign(other->FFont);
    FFontOverride = other->FFontOverride;
    FStrings.Assign(other->FStrings);
}

void TLanguage::ParseStrings() {
    if (!FParseEnabled)
        return;
    FParsedStrings.clear();
    FParsedMemos.clear();
    TParsedLanguage parsed = ParseLanguageLines(FStrings.Lines().Items());
    std::vector<TLanguageString> strings;
    strings.reserve(parsed.Strings.size());
    for (TParsedString& s : parsed.Strings)
        strings.emplace_back(this, s.GLID, s.Line, std::move(s.Text));
    std::vector<TLanguageMemo> memos;
    memos.reserve(parsed.Memos.size());
    for (TParsedMemo& m : parsed.Memos) {
        TStringList lines;
        for (std::string& l : m.Lines)
            lines.Add(l);
        memos.emplace_back(this, m.GLID, m.Line, std::move(lines));
    }
    FParsedStrings = std::move(strings);
    FParsedMemos = std::move(memos);
}

void TLanguage::LineDeleted(int index) {
    for (TLanguageString& s : FParsedStrings)
        if (s.Line() > index)
            s.SetLine(s.Line() - 1);
    for (TLanguageMemo& m : FParsedMemos)
        if (m.Line() > index)
            m.SetLine(m.Line() - 1);
}

const TLanguageString* TLanguage::FindString(int32_t glid) const {
    for (const TLanguageString& s : FParsedStrings)
        if (s.GLID() == glid)
            return &s;
    return nullptr;
}

const TLanguageString* TLanguage::FindStringByText(std::string_view text) const {
    for (const TLanguageString& s : FParsedStrings)
        if (SameLanguageText(s.Text(), text))
            return &s;
    return nullptr;
}

const TLanguageMemo* TLanguage::FindMemo(int32_t glid) const {
    for (const TLanguageMemo& m : FParsedMemos)
        if (m.GLID() == glid)
            return &m;
    return nullptr;
}

const TLanguageMemo* TLanguage::FindMemoByLines(const TStringList& lines) const {
    std::string joined = lines.Text();
    for (const TLanguageMemo& m : FParsedMemos)
        if (m.Lines().Text() == joined)
            return &m;
    return nullptr;
}

const TClassInfo& TLanguage::StaticClass() {
    static const TClassInfo info = DescribeClass<TLanguage, TPersistent>("TLanguage", [](auto& c) {
        c.Font("Font", [](TLanguage& o) { return &o.Font(); });
        c.Bool("FontOverride", &TLanguage::FontOverride, &TLanguage::SetFontOverride, false);
        c.Enum(
            "LanguageIdent", LanguageIdentNames(), &TLanguage::LanguageIdent,
            [](TLanguage&, TQnfdLanguage) { throw EPropertyError("Property LanguageIdent is read-only"); },
            qlChineseSimplified);
        c.Strings(
            "Strings", [](TLanguage& o) -> const TStringList& { return o.Strings().Lines(); },
            [](TLanguage& o, const TStringList& lines) { o.Strings().Assign(lines); });
    });
    return info;
}

// ---------------------------------------------------------------------------
// TTranslator

TTranslator::TTranslator(TComponent* AOwner) : TComponent(AOwner) {
    for (int i = 0; i < kLanguageCount; ++i)
        FLanguages.push_back(std::make_unique<TLanguage>(this, LanguageInfo(i)));
    if (!GActiveTranslator) {
        GActiveTranslator = this;
        SetTranslateTextHook(TranslateMessage);
    }
}

TTranslator::~TTranslator() {
    Deactivate();
}

void TTranslator::BeforeDestruction() {
    Deactivate();
    TComponent::BeforeDestruction();
}

void TTranslator::Deactivate() {
    if (GActiveTranslator != this)
        return;
    GActiveTranslator = nullptr;
    SetTranslateTextHook(nullptr);
}

TLanguage* TTranslator::LanguageByIdent(int32_t ident) const {
    for (const auto& l : FLanguages)
        if (l->LanguageIdent() == ident)
            return l.get();
    return nullptr;
}

TLanguage* TTranslator::LanguageObject(int32_t ident) const {
    return ident == qlUser ? UserDefaultLanguage() : LanguageByIdent(ident);
}

TLanguage* TTranslator::UserDefaultLanguage() const {
    try {
        return LanguageByIdent(LanguageOfLangId(UserDefaultLangID()));
    } catch (...) {
        return nullptr;
    }
}

std::string TTranslator::TranslateByGLID(int32_t glid, const std::string& text) const {
    TLanguage* target = TargetLanguage();
    const TLanguageString* s = target ? target->FindString(glid) : nullptr;
    return s ? s->Text() : text;
}

std::string TTranslator::TranslateByText(int32_t fromLanguage, const std::string& text) const {
    TLanguage* from = LanguageObject(fromLanguage);
    const TLanguageString* found = from ? from->FindStringByText(text) : nullptr;
    if (!found)
        return text;
    return TranslateByGLID(found->GLID(), text);
}

TStringList TTranslator::TranslateLines(int32_t fromLanguage, const TStringList& lines) const {
    TLanguage* from = LanguageObject(fromLanguage);
    const TLanguageMemo* found = from ? from->FindMemoByLines(lines) : nullptr;
    TLanguage* target = found ? TargetLanguage() : nullptr;
    const TLanguageMemo* result = target ? target->FindMemo(found->GLID()) : nullptr;
    return result ? result->Lines() : lines;
}

const TClassInfo& TTranslator::StaticClass() {
    static const TClassInfo info = DescribeClass<TTranslator, TComponent>("TTranslator", [](auto& c) {
        for (int i = 0; i < kLanguageCount; ++i)
            c.Nested(LanguageInfo(i).PropertyName, [i](TTranslator& o) { return o.Language(i); });
        c.Enum("TranslateIntoLanguage", LanguageIdentNames(), &TTranslator::TranslateIntoLanguage,
               &TTranslator::SetTranslateIntoLanguage, qlUser);
    });
    return info;
}

void RegisterTranslateClasses() {
    RegisterClass(TTranslator::StaticClass());
}
