// The window half of the translator: the controls that carry the number of
// their text (GLID), translating a window's controls by GLID and by text, and
// the fonts and character sets a language gives a window.
#pragma once
#include "toolkit/forms_Forms.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslator.h"

// A label translated by its GLID (0: it has none and is translated by text).
class TTranslateLabel : public TLabel {
    QFD_CLASS(TTranslateLabel)
public:
    using TLabel::TLabel;
    int32_t GLID() const { return FGLID; }
    void SetGLID(int32_t v) { FGLID = v; }

private:
    int32_t FGLID = 0;
};

// A bitmap button translated by its GLID.
class TTranslateBitBtn : public TBitBtn {
    QFD_CLASS(TTranslateBitBtn)
public:
    using TBitBtn::TBitBtn;
    int32_t GLID() const { return FGLID; }
    void SetGLID(int32_t v) { FGLID = v; }

private:
    int32_t FGLID = 0;
};

// Process-wide entry points of the windows. Without an active translator
// they do nothing and return the language they were given.
//
// The language's fonts for a form and every control in it (the translator's
// target language, or the language given).
void SetFormFont(TControl* form);
void SetFormFont(TControl* form, int32_t language);
// Translates a form's texts from the language they are in; returns the
// language the form is in afterwards.
int32_t TranslateForm(int32_t fromLanguage, TComponent* form);
int32_t TranslateForm(int32_t fromLanguage, TComponent* form, int32_t intoLanguage);

// Registers TTranslateLabel and TTranslateBitBtn for stored layouts.
void RegisterTranslateControlClasses();
