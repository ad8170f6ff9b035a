#include "toolkit/forms_Dialogs.h"
#include "platform/routines_WinText.h"
#include "toolkit/forms_StdCtrls.h"
#include <windows.h>
#undef MessageBox
#include <algorithm>

namespace {

// The font's dialog units: average character width and height.
TPoint DialogUnits(const TFont& font) {
    HDC dc = GetDC(nullptr);
    TCanvas canvas(reinterpret_cast<uintptr_t>(dc));
    int32_t w, h;
    canvas.TextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", font, w, h);
    ReleaseDC(nullptr, dc);
    return {std::max((w / 26 + 1) / 2, 1), std::max(h, 1)};
}

int32_t Du(int32_t n, int32_t unit, int32_t per) {
    return MulDiv(n, unit, per);
}

} // namespace

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    TOwnedPtr<TForm> form(new TForm(Application()));
    form->SetCaption(caption);
    form->SetBorderStyle(bsDialog);
    form->SetBorderIcons(1u << biSystemMenu);
    form->SetPosition(poScreenCenter);
    const TPoint du = DialogUnits(form->Font());

    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    label->SetCaption(prompt);
    label->SetBounds(Du(8, du.X, 4), Du(8, du.Y, 8), label->Width(), label->Height());

    int32_t width = std::max(Du(180, du.X, 4), label->Width() + 2 * Du(8, du.X, 4));
    form->SetClientWidth(width);
    form->SetClientHeight(Du(63, du.Y, 8));

    auto* edit = new TEdit(form.get());
    edit->SetName("Edit");
    edit->SetParent(form.get());
    edit->SetBounds(Du(8, du.X, 4), Du(19, du.Y, 8), width - 2 * Du(8, du.X, 4), Du(12, du.Y, 8) + 2);
    edit->SetMaxLength(255);
    edit->SetText(value);

    const int32_t top = Du(41, du.Y, 8), bw = Du(50, du.X, 4), bh = Du(14, du.Y, 8);
    auto* ok = new TButton(form.get());
    ok->SetParent(form.get());
    ok->SetCaption("OK");
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    ok->SetBounds(width / 2 - bw - Du(2, du.X, 4), top, bw, bh);
    auto* cancel = new TButton(form.get());
    cancel->SetParent(form.get());
    cancel->SetCaption("Cancel");
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    cancel->SetBounds(width / 2 + Du(2, du.X, 4), top, bw, bh);

    form->HandleNeeded();
    edit->SelectAll();
    if (form->ShowModal() != mrOk)
        return false;
    value = edit->Text();
    return true;
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) {
    std::string value = def;
    InputQuery(caption, prompt, value);
    return value;
}

TModalResult MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
    static const struct {
        TMsgDlgButtons Buttons;
        UINT Flags;
    } kBoxes[] = {
        {1u << mbOK, MB_OK},
        {mbOKCancel, MB_OKCANCEL},
        {mbYesNo, MB_YESNO},
        {mbYesNoCancel, MB_YESNOCANCEL},
        {(1u << mbRetry) | (1u << mbCancel), MB_RETRYCANCEL},
        {mbAbortRetryIgnore, MB_ABORTRETRYIGNORE},
    };
    UINT flags = 0;
    bool found = false;
    for (const auto& b : kBoxes)
        if (b.Buttons == buttons) {
            flags = b.Flags;
            found = true;
        }
    if (!found)
        throw EInvalidOperation("The system has no message box with these buttons");
    static const char* const kTitles[] = {"Warning", "Error", "Information", "Confirm"};
    static const UINT kIcons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION};
    std::string title = type == mtCustom ? Application()->Title() : kTitles[type];
    if (type != mtCustom)
        flags |= kIcons[type];
    switch (Application()->MessageBox(msg, title, flags)) {
    case IDOK:
        return mrOk;
    case IDYES:
        return mrYes;
    case IDNO:
        return mrNo;
    case IDABORT:
        return mrAbort;
    case IDRETRY:
        return mrRetry;
    case IDIGNORE:
        return mrIgnore;
    default:
        return mrCancel;
    }
}
