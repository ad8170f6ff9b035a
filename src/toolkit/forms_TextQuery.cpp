#include "toolkit/forms_TextQuery.h"
#include <windows.h>

uint32_t PaintedTextsMessage() {
    static const UINT id = RegisterWindowMessageW(L"QuenfoldPaintedTexts");
    return id;
}

namespace {
// The character set of the font the window really draws with.
int WindowCharset(uintptr_t window) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(reinterpret_cast<HWND>(window), WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return -1;
    return lf.lfCharSet;
}

void Collect(const TWinControl& parent, std::string& out) {
    for (int i = 0; i < parent.ControlCount(); ++i) {
        const TControl* c = parent.Controls(i);
        if (!c->Visible())
            continue;
        if (c->PaintedByParent() && !c->Caption().empty()) {
            std::string text = c->Caption();
            for (char& ch : text)
                if (ch == '\r' || ch == '\n' || ch == '\t')
                    ch = ' ';
            out += "L\t" + std::to_string(c->Font().Charset()) + "\t" + text + "\n";
        }
        if (auto* w = dynamic_cast<const TWinControl*>(c)) {
            if (w->HandleAllocated())
                out += "W\t" + std::to_string(w->Handle()) + "\t" +
                       std::to_string(WindowCharset(w->Handle())) + "\n";
            Collect(*w, out);
        }
    }
}
} // namespace

std::string PaintedTexts(const TWinControl& control) {
    std::string out;
    if (control.Visible())
        Collect(control, out);
    return out;
}

bool AnswerPaintedTexts(TMessage& msg) {
    if (msg.Msg == 0 || msg.Msg != PaintedTextsMessage())
        return false;
    TWinControl* target = FindControl(msg.WParam);
    std::string text = target ? PaintedTexts(*target) : std::string();
    COPYDATASTRUCT data{};
    data.dwData = PaintedTextsTag;
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = text.data();
    DWORD_PTR answer = 0;
    // The asker waits in its SendMessage and takes sent messages meanwhile.
    SendMessageTimeoutW(reinterpret_cast<HWND>(msg.LParam), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 2000, &answer);
    msg.Result = target ? 1 : 0;
    return true;
}
