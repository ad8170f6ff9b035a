#include "ControlsDriver.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "toolkit/forms_Forms.h"
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

using namespace WindowDriver;

TPerson::TPerson(std::function<void(TPerson&)> steps)
    : FThread([this, steps] {
          try {
              steps(*this);
          } catch (const std::exception& e) {
              Check(false, std::string("exception: ") + e.what());
          }
      }) {}

TPerson::~TPerson() {
    Join();
}

void TPerson::Join() {
    if (FThread.joinable())
        FThread.join();
}

bool TPerson::Check(bool cond, const std::string& what) {
    if (!cond) {
        std::lock_guard<std::mutex> g(FLock);
        FFailures.push_back(what);
    }
    return cond;
}

std::vector<std::string> TPerson::Failures() {
    std::lock_guard<std::mutex> g(FLock);
    return FFailures;
}

bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        Application()->ProcessMessages();
        Sleep(5);
    }
    return true;
}

TWindowHandle FindOwnWindow(const std::string& cls, const std::string& childClass, uint32_t timeoutMs) {
    struct TQuery {
        std::string Cls, Child;
        HWND Found = nullptr;
    } q{cls, childClass};
    WaitFor(
        [&] {
            q.Found = nullptr;
            EnumWindows(
                [](HWND h, LPARAM lp) CALLBACK -> BOOL {
                    auto* q = reinterpret_cast<TQuery*>(lp);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(h, &pid);
                    auto w = reinterpret_cast<TWindowHandle>(h);
                    if (pid != GetCurrentProcessId() || !IsWindowVisible(h) || ClassNameOf(w) != q->Cls ||
                        !FindChild(w, "", q->Child))
                        return TRUE;
                    q->Found = h;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&q));
            return q.Found != nullptr;
        },
        timeoutMs);
    return reinterpret_cast<TWindowHandle>(q.Found);
}

void TypeText(TWindowHandle edit, const std::string& text) {
    std::wstring w = Wide(text);
    DWORD_PTR r;
    SendMessageTimeoutW(reinterpret_cast<HWND>(edit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()),
                        SMTO_ABORTIFHUNG, 2000, &r);
    PostMessageW(reinterpret_cast<HWND>(edit), WM_KEYUP, VK_END, 0xC0000001);
}

void PressKey(TWindowHandle w, uint16_t vk) {
    PostMessageW(reinterpret_cast<HWND>(w), WM_KEYDOWN, vk, 1);
    PostMessageW(reinterpret_cast<HWND>(w), WM_KEYUP, vk, 0xC0000001);
}

std::string LongFolderName(const std::string& path) {
    std::wstring in = Wide(RemoveBackslash(path));
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetLongPathNameW(in.c_str(), buf, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? Narrow(buf, n) : Narrow(in);
}

std::vector<std::string> ListViewColumnTexts(TWindowHandle listView) {
    std::vector<std::string> texts;
    for (int i = 0;; ++i) {
        wchar_t buf[256] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = buf;
        col.cchTextMax = 255;
        if (!SendMessageW(reinterpret_cast<HWND>(listView), LVM_GETCOLUMNW, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(&col)))
            break;
        texts.push_back(Narrow(buf, wcslen(buf)));
    }
    return texts;
}

std::string SelectedTreeText(TWindowHandle tree) {
    HWND h = reinterpret_cast<HWND>(tree);
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(h, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item)
        return std::string();
    wchar_t buf[260] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = buf;
    it.cchTextMax = 259;
    if (!SendMessageW(h, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        return std::string();
    return Narrow(buf, wcslen(buf));
}

int ProgressBarPosition(TWindowHandle bar) {
    return static_cast<int>(SendMessageW(reinterpret_cast<HWND>(bar), PBM_GETPOS, 0, 0));
}
