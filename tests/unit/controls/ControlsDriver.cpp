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

int ListViewStateImage(TWindowHandle listView, int item) {
    const auto state = static_cast<UINT>(SendMessageW(reinterpret_cast<HWND>(listView), LVM_GETITEMSTATE,
                                                      static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
    return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
}

namespace {
// The pixels of a memory DC's 32-bit bitmap section.
struct TSection {
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Old = nullptr;
    uint32_t* Bits = nullptr;
    TSection(int w, int h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h; // rows from the top
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        Dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        Bitmap = CreateDIBSection(Dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        Bits = static_cast<uint32_t*>(bits);
        if (Bitmap)
            Old = SelectObject(Dc, Bitmap);
    }
    ~TSection() {
        if (Old)
            SelectObject(Dc, Old);
        if (Bitmap)
            DeleteObject(Bitmap);
        DeleteDC(Dc);
    }
    std::vector<uint32_t> Pixels(int w, int h) {
        GdiFlush();
        std::vector<uint32_t> out;
        if (!Bits)
            return out;
        for (int i = 0; i < w * h; ++i)
            out.push_back(Bits[i] & 0xFFFFFF);
        return out;
    }
};
} // namespace

std::vector<uint32_t> ListViewImagePixels(TWindowHandle listView, bool stateList, int image, int& width,
                                          int& height) {
    width = height = 0;
    auto list = reinterpret_cast<HIMAGELIST>(SendMessageW(reinterpret_cast<HWND>(listView), LVM_GETIMAGELIST,
                                                          stateList ? LVSIL_STATE : LVSIL_SMALL, 0));
    if (!list || image < 0 || image >= ImageList_GetImageCount(list) ||
        !ImageList_GetIconSize(list, &width, &height))
        return {};
    TSection section(width, height);
    RECT all{0, 0, width, height};
    FillRect(section.Dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(list, image, section.Dc, 0, 0, ILD_NORMAL);
    return section.Pixels(width, height);
}

std::vector<uint32_t> WindowPixels(TWindowHandle w, int& width, int& height) {
    HWND h = reinterpret_cast<HWND>(w);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    GetClientRect(h, &r);
    width = r.right;
    height = r.bottom;
    TSection section(width, height);
    HDC dc = GetDC(h);
    BitBlt(section.Dc, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ReleaseDC(h, dc);
    return section.Pixels(width, height);
}

int ListViewColumnWidth(TWindowHandle listView, int column) {
    return static_cast<int>(
        SendMessageW(reinterpret_cast<HWND>(listView), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int ListViewTextWidth(TWindowHandle listView, const std::string& text) {
    const std::wstring w = Wide(text);
    return static_cast<int>(SendMessageW(reinterpret_cast<HWND>(listView), LVM_GETSTRINGWIDTHW, 0,
                                         reinterpret_cast<LPARAM>(w.c_str())));
}

std::array<int, 4> ClientOnScreen(TWindowHandle w) {
    RECT r{};
    GetClientRect(reinterpret_cast<HWND>(w), &r);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    MapWindowPoints(reinterpret_cast<HWND>(w), HWND_DESKTOP, corners, 2);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}
