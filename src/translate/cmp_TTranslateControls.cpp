#include "translate/cmp_TTranslateControls.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/classes_Reader.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include <cmath>

const TClassInfo& TTranslateLabel::StaticClass() {
    static const TClassInfo info = DescribeClass<TTranslateLabel, TLabel>("TTranslateLabel", [](auto& c) {
        c.Int("GLID", &TTranslateLabel::GLID, &TTranslateLabel::SetGLID, 0);
    });
    return info;
}

const TClassInfo& TTranslateBitBtn::StaticClass() {
    static const TClassInfo info = DescribeClass<TTranslateBitBtn, TBitBtn>("TTranslateBitBtn", [](auto& c) {
        c.Int("GLID", &TTranslateBitBtn::GLID, &TTranslateBitBtn::SetGLID, 0);
    });
    return info;
}

void RegisterTranslateControlClasses() {
    RegisterClass(TTranslateLabel::StaticClass());
    RegisterClass(TTranslateBitBtn::StaticClass());
}

namespace {
// Sets the translator's target language for one call.
class TTargetFor {
public:
    TTargetFor(TTranslator& t, int32_t language) : FT(t), FSaved(t.TranslateIntoLanguage()) {
        t.SetTranslateIntoLanguage(static_cast<TQnfdLanguage>(language));
    }
    ~TTargetFor() { FT.SetTranslateIntoLanguage(FSaved); }
    TTargetFor(const TTargetFor&) = delete;
    TTargetFor& operator=(const TTargetFor&) = delete;

private:
    TTranslator& FT;
    TQnfdLanguage FSaved;
};

int32_t GlidOf(TComponent* c) {
    if (auto* l = dynamic_cast<TTranslateLabel*>(c))
        return l->GLID();
    if (auto* b = dynamic_cast<TTranslateBitBtn*>(c))
        return b->GLID();
    return -1; // not a control that carries one
}

// A published string property's value as it stands.
std::string StringValue(TPersistent& obj, const TPropInfo& p) {
    return ParseStoredValue(p.GetText(obj)).Str;
}

void SetStringValue(TPersistent& obj, const TPropInfo& p, const std::string& value) {
    TStoredValue v;
    v.kind = TStoredValue::Kind::String;
    v.Str = value;
    p.SetValue(obj, p, v);
}

// Fonts are stored as pixel heights; sizes in the language table are points.
constexpr int32_t kScreenDpi = 96;
int32_t PointsOf(const TFont& f) {
    return static_cast<int32_t>(std::lround(std::abs(f.Height()) * 72.0 / kScreenDpi));
}
int32_t HeightOfPoints(int32_t points) {
    return -static_cast<int32_t>(std::lround(points * static_cast<double>(kScreenDpi) / 72.0));
}

void ApplyFontTo(TControl& control, const TLanguage& language) {
    TFont& f = control.Font();
    if (language.FontOverride()) {
        f.Assign(language.Font());
    } else {
        const int32_t ident = language.LanguageIdent();
        f.SetCharset(LanguageCharset(ident));
        f.SetName(LanguageFontName(ident));
        const int32_t least = LanguageMinSize(ident);
        if (least > 0 && PointsOf(f) < least)
            f.SetHeight(HeightOfPoints(least));
    }
    if (auto* w = dynamic_cast<TWinControl*>(&control))
        for (int i = 0; i < w->ControlCount(); ++i)
            ApplyFontTo(*w->Controls(i), language);
}
} // namespace

void TTranslator::TranslateTexts(int32_t fromLanguage, TComponent& component) const {
    for (const TPropInfo* p : component.ClassInfo()->AllProps()) {
        if (p->Kind != TPropKind::String || p->Name == "Name" || !p->GetText || !p->SetValue)
            continue;
        std::string value = StringValue(component, *p);
        if (Trim(value).empty())
            continue;
        std::string translated = TranslateByText(fromLanguage, value);
        if (translated != value)
            SetStringValue(component, *p, translated);
    }
    if (auto* memo = dynamic_cast<TMemo*>(&component))
        memo->SetLines(TranslateLines(fromLanguage, memo->Lines()));
    if (auto* list = dynamic_cast<TListView*>(&component))
        for (int i = 0; i < list->ColumnCount(); ++i) {
            const std::string caption = list->Column(i).Caption;
            if (!Trim(caption).empty())
                list->SetColumnCaption(i, TranslateByText(fromLanguage, caption));
        }
    if (auto* group = dynamic_cast<TRadioGroup*>(&component)) {
        TStringList items;
        for (const std::string& item : group->Items().Items())
            items.Add(TranslateByText(fromLanguage, item));
        const int32_t index = group->ItemIndex();
        group->SetItems(items);
        group->SetItemIndex(index);
    }
}

int32_t TTranslator::TranslateComponent(int32_t fromLanguage, TComponent* component) {
    if (!component)
        return fromLanguage;
    auto* control = dynamic_cast<TControl*>(component);
    auto* label = dynamic_cast<TLabel*>(component);
    const bool wasVisible = control && control->Visible();
    const bool wasAutoSize = label && label->AutoSize();
    // Hidden while its texts change, so that nothing is painted half done.
    if (control && !dynamic_cast<TForm*>(control) && !dynamic_cast<TImage*>(control))
        control->Hide();
    if (label)
        label->SetAutoSize(false);
    auto restore = [&] {
        if (!control)
            return;
        if (label)
            label->SetAutoSize(wasAutoSize);
        if (wasVisible && !control->Visible())
            control->Show();
        if (auto* w = dynamic_cast<TWinControl*>(control); w && w->ControlCount() > 0)
            w->AlignControls();
    };
    try {
        // A GLID control with a number is done by it; every other component
        // (a GLID control of 0 included) is translated by its texts.
        if (GlidOf(component) > 0)
            control->SetCaption(TranslateByGLID(GlidOf(component), control->Caption()));
        else
            TranslateTexts(fromLanguage, *component);
        for (int i = 0; i < component->ComponentCount(); ++i) {
            TComponent* owned = component->Components(i);
            if (!dynamic_cast<TForm*>(owned))
                TranslateComponent(fromLanguage, owned);
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    const TLanguage* target = TargetLanguage();
    if (!target || target->Strings().Count() == 0)
        return fromLanguage;
    return FTranslateIntoLanguage;
}

int32_t TTranslator::TranslateComponent(int32_t fromLanguage, TComponent* component, int32_t intoLanguage) {
    TTargetFor into(*this, intoLanguage);
    return TranslateComponent(fromLanguage, component);
}

void TTranslator::ApplyLanguageFont(TControl* control) {
    if (!control)
        return;
    const TLanguage* language = TargetLanguage();
    if (!language)
        return;
    if (language->Strings().Count() == 0)
        language = LanguageByIdent(qlEnglish);
    if (language)
        ApplyFontTo(*control, *language);
}

void TTranslator::ApplyLanguageFont(TControl* control, int32_t language) {
    TTargetFor into(*this, language);
    ApplyLanguageFont(control);
}

void SetFormFont(TControl* form) {
    if (TTranslator* t = ActiveTranslator())
        t->ApplyLanguageFont(form);
}

void SetFormFont(TControl* form, int32_t language) {
    if (TTranslator* t = ActiveTranslator())
        t->ApplyLanguageFont(form, language);
}

int32_t TranslateForm(int32_t fromLanguage, TComponent* form) {
    TTranslator* t = ActiveTranslator();
    return t ? t->TranslateComponent(fromLanguage, form) : fromLanguage;
}

int32_t TranslateForm(int32_t fromLanguage, TComponent* form, int32_t intoLanguage) {
    TTranslator* t = ActiveTranslator();
    return t ? t->TranslateComponent(fromLanguage, form, intoLanguage) : fromLanguage;
}
