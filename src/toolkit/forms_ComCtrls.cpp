#include "toolkit/forms_ComCtrls.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Graphics.h"
#include <windows.h>
#undef DrawText
#include <algorithm>
#include <commctrl.h>
#include <cstring>

namespace {

HWND H(uintptr_t h) {
    return reinterpret_cast<HWND>(h);
}

void SetWindowStyleBit(uintptr_t h, uint32_t bit, bool on) {
    LONG_PTR style = GetWindowLongPtrW(H(h), GWL_STYLE);
    SetWindowLongPtrW(H(h), GWL_STYLE, on ? (style | bit) : (style & ~static_cast<LONG_PTR>(bit)));
    SetWindowPos(H(h), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(H(h), nullptr, TRUE);
}

HIMAGELIST ListOf(const TImageList* images) {
    return images ? reinterpret_cast<HIMAGELIST>(images->Handle()) : nullptr;
}

// Posted by a tree view to itself after a click or key that may have changed
// a tick: the control changes it after telling its parent.
constexpr UINT WM_QFD_TREECHECK = WM_APP + 0x51;

} // namespace

// ---------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 150;
    FHeight = 16;
}

void TProgressBar::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = PROGRESS_CLASSW;
    p.OwnClass = false;
    if (FSmooth)
        p.Style |= PBS_SMOOTH;
    if (FOrientation == pbVertical)
        p.Style |= PBS_VERTICAL;
}

void TProgressBar::AfterCreateWnd() {
    SendMessageW(H(FHandle), PBM_SETRANGE32, static_cast<WPARAM>(FMin), static_cast<LPARAM>(FMax));
    SendMessageW(H(FHandle), PBM_SETSTEP, static_cast<WPARAM>(FStep), 0);
    SendMessageW(H(FHandle), PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
}

void TProgressBar::Recreate() {
    if (HandleAllocated()) {
        FPosition = Position();
        DestroyHandle();
        HandleNeeded();
    }
}

void TProgressBar::Loaded() {
    TWinControl::Loaded();
    // The range and position may come in any order in a layout.
    if (FMax < FMin)
        FMax = FMin;
    FPosition = std::clamp(FPosition, FMin, FMax);
    if (HandleAllocated())
        AfterCreateWnd();
}

void TProgressBar::SetMin(int32_t v) {
    FMin = v;
    if (Loading())
        return;
    FMax = std::max(FMax, FMin);
    FPosition = std::clamp(Position(), FMin, FMax);
    if (HandleAllocated())
        AfterCreateWnd();
}

void TProgressBar::SetMax(int32_t v) {
    FMax = v;
    if (Loading())
        return;
    FMin = std::min(FMin, FMax);
    FPosition = std::clamp(Position(), FMin, FMax);
    if (HandleAllocated())
        AfterCreateWnd();
}

int32_t TProgressBar::Position() const {
    if (HandleAllocated())
        FPosition = static_cast<int32_t>(SendMessageW(H(FHandle), PBM_GETPOS, 0, 0));
    return FPosition;
}

void TProgressBar::SetPosition(int32_t v) {
    FPosition = Loading() ? v : std::clamp(v, FMin, FMax);
    if (HandleAllocated())
        SendMessageW(H(FHandle), PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
}

void TProgressBar::SetStep(int32_t v) {
    FStep = v;
    if (HandleAllocated())
        SendMessageW(H(FHandle), PBM_SETSTEP, static_cast<WPARAM>(v), 0);
}

void TProgressBar::StepIt() {
    // Past Max the bar starts again at Min, as the system's does.
    int32_t next = Position() + FStep;
    SetPosition(next > FMax ? FMin + (next - FMax) : next);
}

void TProgressBar::SetSmooth(bool v) {
    FSmooth = v;
    Recreate();
}

void TProgressBar::SetOrientation(TProgressBarOrientation v) {
    FOrientation = v;
    Recreate();
}

// ---------------------------------------------------------------------------
// TImageList

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}

TImageList::~TImageList() {
    if (FHandle)
        ImageList_Destroy(reinterpret_cast<HIMAGELIST>(FHandle));
}

uintptr_t TImageList::Handle() const {
    if (!FHandle) {
        FHandle =
            reinterpret_cast<uintptr_t>(ImageList_Create(FWidth, FHeight, ILC_COLOR24 | ILC_MASK, 4, 4));
        Refill();
    }
    return FHandle;
}

void TImageList::Refill() const {
    if (!FHandle)
        return;
    ImageList_RemoveAll(reinterpret_cast<HIMAGELIST>(FHandle));
    AddPictureImages(FHandle, FBitmap, FWidth, FHeight, FMasked);
    for (const TPicture& p : FAdded)
        AddPictureImages(FHandle, p, FWidth, FHeight, FMasked);
}

int32_t TImageList::Add(const TPicture& strip) {
    int32_t first = Count();
    FAdded.push_back(strip);
    if (FHandle)
        AddPictureImages(FHandle, strip, FWidth, FHeight, FMasked);
    return first;
}

void TImageList::Clear() {
    FBitmap.Clear();
    FAdded.clear();
    Refill();
}

int32_t TImageList::Count() const {
    if (FHandle)
        return ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(FHandle));
    int32_t n = PictureStripCount(FBitmap, FWidth);
    for (const TPicture& p : FAdded)
        n += PictureStripCount(p, FWidth);
    return n;
}

void TImageList::SetWidth(int32_t v) {
    FWidth = std::clamp(v, 1, 1024);
    if (FHandle) {
        ImageList_SetIconSize(reinterpret_cast<HIMAGELIST>(FHandle), FWidth, FHeight);
        Refill();
    }
}

void TImageList::SetHeight(int32_t v) {
    FHeight = std::clamp(v, 1, 1024);
    if (FHandle) {
        ImageList_SetIconSize(reinterpret_cast<HIMAGELIST>(FHandle), FWidth, FHeight);
        Refill();
    }
}

void TImageList::SetMasked(bool v) {
    FMasked = v;
    Refill();
}

// ---------------------------------------------------------------------------
// TTreeNode

TTreeView* TTreeNode::TreeView() const {
    return FOwner->Owner();
}

uintptr_t TTreeNode::TreeHandle() const {
    TTreeView* t = TreeView();
    return FItem && t->HandleAllocated() ? t->Handle() : 0;
}

int TTreeNode::Index() const {
    auto& sibs = FOwner->SiblingsOf(FParent);
    for (size_t i = 0; i < sibs.size(); ++i)
        if (sibs[i].get() == this)
            return static_cast<int>(i);
    return -1;
}

int TTreeNode::Level() const {
    int n = 0;
    for (TTreeNode* p = FParent; p; p = p->FParent)
        ++n;
    return n;
}

TTreeNode* TTreeNode::GetNextSibling() const {
    auto& sibs = FOwner->SiblingsOf(FParent);
    size_t i = static_cast<size_t>(Index()) + 1;
    return i < sibs.size() ? sibs[i].get() : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
    if (!FChildren.empty())
        return FChildren.front().get();
    for (const TTreeNode* n = this; n; n = n->FParent)
        if (TTreeNode* s = n->GetNextSibling())
            return s;
    return nullptr;
}

void TTreeNode::UpdateItem(uint32_t mask) const {
    uintptr_t h = TreeHandle();
    if (!h)
        return;
    TVITEMW it{};
    it.mask = mask | TVIF_HANDLE;
    it.hItem = reinterpret_cast<HTREEITEM>(FItem);
    std::wstring text = Wide(FText);
    it.pszText = text.data();
    it.iImage = FImageIndex;
    it.iSelectedImage = FSelectedIndex;
    it.stateMask = TVIS_STATEIMAGEMASK;
    int state = TreeView()->CheckBoxes() ? (FChecked ? 2 : 1) : FStateIndex + 1;
    it.state = INDEXTOSTATEIMAGEMASK(state);
    SendMessageW(H(h), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

void TTreeNode::SetText(const std::string& s) {
    FText = s;
    UpdateItem(TVIF_TEXT);
}

void TTreeNode::SetImageIndex(int32_t v) {
    FImageIndex = v;
    UpdateItem(TVIF_IMAGE);
}

void TTreeNode::SetSelectedIndex(int32_t v) {
    FSelectedIndex = v;
    UpdateItem(TVIF_SELECTEDIMAGE);
}

void TTreeNode::SetStateIndex(int32_t v) {
    FStateIndex = std::max(v, -1);
    UpdateItem(TVIF_STATE);
}

bool TTreeNode::Expanded() const {
    if (uintptr_t h = TreeHandle())
        FExpanded = (SendMessageW(H(h), TVM_GETITEMSTATE, FItem, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    return FExpanded;
}

void TTreeNode::SetExpanded(bool v) {
    FExpanded = v;
    if (uintptr_t h = TreeHandle()) {
        TTreeView* t = TreeView();
        ++t->FQuiet;
        SendMessageW(H(h), TVM_EXPAND, v ? TVE_EXPAND : TVE_COLLAPSE, static_cast<LPARAM>(FItem));
        --t->FQuiet;
    }
}

void TTreeNode::Expand(bool recurse) {
    SetExpanded(true);
    if (recurse)
        for (auto& c : FChildren)
            c->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
    SetExpanded(false);
    if (recurse)
        for (auto& c : FChildren)
            c->Collapse(true);
}

bool TTreeNode::Selected() const {
    return TreeView()->Selected() == this;
}

void TTreeNode::SetSelected(bool v) {
    if (v)
        TreeView()->SetSelected(this);
    else if (Selected())
        TreeView()->SetSelected(nullptr);
}

void TTreeNode::MakeVisible() {
    for (TTreeNode* p = FParent; p; p = p->FParent)
        p->SetExpanded(true);
    if (uintptr_t h = TreeHandle())
        SendMessageW(H(h), TVM_ENSUREVISIBLE, 0, static_cast<LPARAM>(FItem));
}

bool TTreeNode::IsVisible() const {
    for (TTreeNode* p = FParent; p; p = p->FParent)
        if (!p->Expanded())
            return false;
    return true;
}

TRect TTreeNode::DisplayRect(bool textOnly) const {
    uintptr_t h = TreeHandle();
    if (!h)
        return {};
    RECT r{};
    // The item goes in, the rectangle comes out.
    HTREEITEM item = reinterpret_cast<HTREEITEM>(FItem);
    memcpy(&r, &item, sizeof item);
    if (!SendMessageW(H(h), TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(&r)))
        return {};
    return {r.left, r.top, r.right, r.bottom};
}

bool TTreeNode::Checked() const {
    uintptr_t h = TreeHandle();
    if (h && TreeView()->CheckBoxes()) {
        auto state = static_cast<UINT>(SendMessageW(H(h), TVM_GETITEMSTATE, FItem, TVIS_STATEIMAGEMASK));
        return (state >> 12) == 2;
    }
    return FChecked;
}

void TTreeNode::SetChecked(bool v) {
    FChecked = v;
    UpdateItem(TVIF_STATE);
}

void TTreeNode::Delete() {
    FOwner->Delete(this);
}

// ---------------------------------------------------------------------------
// TTreeNodes

TTreeNodes::~TTreeNodes() = default;

std::vector<std::unique_ptr<TTreeNode>>& TTreeNodes::SiblingsOf(TTreeNode* parent) {
    return parent ? parent->FChildren : FRoots;
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
    auto& sibs = SiblingsOf(parent);
    sibs.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(this, parent)));
    TTreeNode* n = sibs.back().get();
    n->FText = text;
    n->FData = data;
    if (FOwner->HandleAllocated())
        FOwner->InsertItem(n);
    return n;
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
    return AddChildObject(parent, text, nullptr);
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const std::string& text, void* data) {
    return AddChildObject(sibling ? sibling->FParent : nullptr, text, data);
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) {
    return AddObject(sibling, text, nullptr);
}

void TTreeNodes::Delete(TTreeNode* node) {
    if (!node || node->FOwner != this)
        return;
    for (TTreeNode* s = FOwner->FSelectedWhileHidden; s; s = s->FParent)
        if (s == node) {
            FOwner->FSelectedWhileHidden = nullptr;
            break;
        }
    if (uintptr_t h = node->TreeHandle()) {
        ++FOwner->FQuiet;
        SendMessageW(H(h), TVM_DELETEITEM, 0, static_cast<LPARAM>(node->FItem));
        --FOwner->FQuiet;
    }
    auto& sibs = SiblingsOf(node->FParent);
    sibs.erase(std::find_if(sibs.begin(), sibs.end(), [&](auto& p) { return p.get() == node; }));
}

void TTreeNodes::Clear() {
    FOwner->FSelectedWhileHidden = nullptr;
    if (FOwner->HandleAllocated()) {
        ++FOwner->FQuiet;
        SendMessageW(H(FOwner->Handle()), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        --FOwner->FQuiet;
    }
    FRoots.clear();
}

int TTreeNodes::Count() const {
    int n = 0;
    for (TTreeNode* p = GetFirstNode(); p; p = p->GetNext())
        ++n;
    return n;
}

TTreeNode* TTreeNodes::Item(int i) const {
    TTreeNode* p = i >= 0 ? GetFirstNode() : nullptr;
    for (int n = i; p && n > 0; --n)
        p = p->GetNext();
    if (!p)
        throw EComponentError(Format("List index out of bounds (%d)", {i}));
    return p;
}

void TTreeNodes::BeginUpdate() {
    if (FUpdating++ == 0 && FOwner->HandleAllocated())
        SendMessageW(H(FOwner->Handle()), WM_SETREDRAW, FALSE, 0);
}

void TTreeNodes::EndUpdate() {
    if (FUpdating > 0 && --FUpdating == 0 && FOwner->HandleAllocated()) {
        SendMessageW(H(FOwner->Handle()), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(H(FOwner->Handle()), nullptr, TRUE);
    }
}

// ---------------------------------------------------------------------------
// TTreeView

TTreeView::TTreeView(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TTreeNodes>(this)) {
    FWidth = 121;
    FHeight = 97;
    FColor = clWindow;
    FTabStop = true;
}

TTreeView::~TTreeView() {
    // The window goes while the nodes its items point at still exist.
    DestroyHandle();
}

void TTreeView::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = WC_TREEVIEWW;
    p.OwnClass = false;
    if (FShowButtons)
        p.Style |= TVS_HASBUTTONS;
    if (FShowLines)
        p.Style |= TVS_HASLINES;
    if (FShowRoot)
        p.Style |= TVS_LINESATROOT;
    if (!FHideSelection)
        p.Style |= TVS_SHOWSELALWAYS;
    if (!FReadOnly)
        p.Style |= TVS_EDITLABELS;
    if (FBorderStyle == bsSingle)
        p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TTreeView::AfterCreateWnd() {
    // Check boxes only work when set after the window exists and before it has items.
    if (FCheckBoxes)
        SetWindowLongPtrW(H(FHandle), GWL_STYLE, GetWindowLongPtrW(H(FHandle), GWL_STYLE) | TVS_CHECKBOXES);
    ApplyImageLists();
    ++FQuiet;
    InsertItems(FItems->FRoots);
    if (FSelectedWhileHidden && FSelectedWhileHidden->FItem)
        SendMessageW(H(FHandle), TVM_SELECTITEM, TVGN_CARET,
                     static_cast<LPARAM>(FSelectedWhileHidden->FItem));
    --FQuiet;
}

void TTreeView::InsertItem(TTreeNode* node) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = node->FParent ? reinterpret_cast<HTREEITEM>(node->FParent->FItem) : TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    std::wstring text = Wide(node->FText);
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
    ins.item.pszText = text.data();
    ins.item.lParam = reinterpret_cast<LPARAM>(node);
    ins.item.iImage = node->FImageIndex;
    ins.item.iSelectedImage = node->FSelectedIndex;
    ins.item.stateMask = TVIS_STATEIMAGEMASK;
    ins.item.state = INDEXTOSTATEIMAGEMASK(FCheckBoxes ? (node->FChecked ? 2 : 1) : node->FStateIndex + 1);
    node->FItem =
        static_cast<uintptr_t>(SendMessageW(H(FHandle), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    if (!node->FItem)
        throw EOSError(Format("Cannot add the node %s to %s", {node->FText, Name()}));
}

void TTreeView::InsertItems(std::vector<std::unique_ptr<TTreeNode>>& nodes) {
    for (auto& n : nodes) {
        InsertItem(n.get());
        InsertItems(n->FChildren);
        if (n->FExpanded && !n->FChildren.empty())
            SendMessageW(H(FHandle), TVM_EXPAND, TVE_EXPAND, static_cast<LPARAM>(n->FItem));
    }
}

void TTreeView::SyncFromWindow(std::vector<std::unique_ptr<TTreeNode>>& nodes) {
    for (auto& n : nodes) {
        if (n->FItem) {
            n->FExpanded = n->Expanded();
            n->FChecked = n->Checked();
        }
        SyncFromWindow(n->FChildren);
        n->FItem = 0;
    }
}

void TTreeView::ApplyImageLists() {
    if (!HandleAllocated())
        return;
    SendMessageW(H(FHandle), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(ListOf(FImages)));
    // With check boxes the state images are the system's ticks.
    if (!FCheckBoxes)
        SendMessageW(H(FHandle), TVM_SETIMAGELIST, TVSIL_STATE,
                     reinterpret_cast<LPARAM>(ListOf(FStateImages)));
}

TTreeNode* TTreeView::FindNode(uintptr_t item) const {
    if (!item)
        return nullptr;
    for (TTreeNode* n = FItems->GetFirstNode(); n; n = n->GetNext())
        if (n->FItem == item)
            return n;
    return nullptr;
}

TTreeNode* TTreeView::NodeOfItem(uintptr_t item) const {
    return FindNode(item);
}

TTreeNode* TTreeView::Selected() const {
    if (!HandleAllocated())
        return FSelectedWhileHidden;
    return FindNode(static_cast<uintptr_t>(SendMessageW(H(FHandle), TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

void TTreeView::SetSelected(TTreeNode* node) {
    FSelectedWhileHidden = node;
    if (HandleAllocated()) {
        ++FQuiet;
        SendMessageW(H(FHandle), TVM_SELECTITEM, TVGN_CARET, node ? static_cast<LPARAM>(node->FItem) : 0);
        --FQuiet;
    }
}

TTreeNode* TTreeView::GetNodeAt(int32_t x, int32_t y) const {
    if (!HandleAllocated())
        return nullptr;
    TVHITTESTINFO ht{};
    ht.pt = {x, y};
    auto item =
        static_cast<uintptr_t>(SendMessageW(H(FHandle), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht)));
    return (ht.flags & TVHT_ONITEM) ? FindNode(item) : nullptr;
}

TTreeNode* TTreeView::TopItem() const {
    if (!HandleAllocated())
        return FItems->GetFirstNode();
    return FindNode(static_cast<uintptr_t>(SendMessageW(H(FHandle), TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0)));
}

bool TTreeView::WantsDialogKey(uint16_t key) const {
    return key != VK_TAB && HandleAllocated() && SendMessageW(H(FHandle), TVM_GETEDITCONTROL, 0, 0) != 0;
}

void TTreeView::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_DESTROY:
        // The window takes its items along: keep what the person changed.
        FSelectedWhileHidden = Selected();
        SyncFromWindow(FItems->FRoots);
        break;
    case WM_QFD_TREECHECK:
        if (TTreeNode* n = FindNode(static_cast<uintptr_t>(m.WParam))) {
            bool before = n->FChecked;
            bool now = n->Checked();
            n->FChecked = now;
            if (now != before)
                CheckChanged(n);
        }
        return;
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
        TWinControl::WndProc(m);
        Scrolled();
        return;
    }
    TWinControl::WndProc(m);
}

void TTreeView::ChildNotify(TMessage& m) {
    auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
    m.Result = 0;
    switch (hdr->code) {
    case TVN_SELCHANGEDW:
        if (!FQuiet)
            Change(FindNode(reinterpret_cast<uintptr_t>(reinterpret_cast<NMTREEVIEWW*>(hdr)->itemNew.hItem)));
        break;
    case TVN_ITEMEXPANDEDW: {
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
        TTreeNode* n = FindNode(reinterpret_cast<uintptr_t>(nm->itemNew.hItem));
        if (!n)
            break;
        n->FExpanded = (nm->action & TVE_EXPAND) != 0;
        if (FQuiet)
            break;
        if (n->FExpanded)
            Expanded(n);
        else
            Collapsed(n);
        break;
    }
    case NM_CLICK: {
        if (FCheckBoxes) {
            DWORD pos = GetMessagePos();
            TVHITTESTINFO ht{};
            ht.pt = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
            ScreenToClient(H(FHandle), &ht.pt);
            auto item = SendMessageW(H(FHandle), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht));
            if (item && (ht.flags & TVHT_ONITEMSTATEICON))
                PostMessageW(H(FHandle), WM_QFD_TREECHECK, static_cast<WPARAM>(item), 0);
        }
        Click();
        break;
    }
    case NM_DBLCLK:
        DblClick();
        break;
    case TVN_KEYDOWN:
        if (FCheckBoxes && reinterpret_cast<NMTVKEYDOWN*>(hdr)->wVKey == VK_SPACE)
            PostMessageW(H(FHandle), WM_QFD_TREECHECK,
                         static_cast<WPARAM>(SendMessageW(H(FHandle), TVM_GETNEXTITEM, TVGN_CARET, 0)), 0);
        break;
    case TVN_BEGINLABELEDITW:
        m.Result = FReadOnly ? TRUE : FALSE;
        break;
    case TVN_ENDLABELEDITW: {
        auto* nm = reinterpret_cast<NMTVDISPINFOW*>(hdr);
        if (nm->item.pszText)
            if (TTreeNode* n = FindNode(reinterpret_cast<uintptr_t>(nm->item.hItem)))
                n->FText = Narrow(nm->item.pszText);
        m.Result = TRUE;
        break;
    }
    }
}

void TTreeView::Change(TTreeNode* node) {
    if (OnChange)
        OnChange(this, node);
}

void TTreeView::Expanded(TTreeNode* node) {
    if (OnExpanded)
        OnExpanded(this, node);
}

void TTreeView::Collapsed(TTreeNode* node) {
    if (OnCollapsed)
        OnCollapsed(this, node);
}

void TTreeView::CheckChanged(TTreeNode* node) {
    if (OnCheckChange)
        OnCheckChange(this, node);
}

void TTreeView::Scrolled() {
    if (OnScroll)
        OnScroll(this);
}

void TTreeView::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

void TTreeView::SetStyleBit(uint32_t bit, bool on) {
    if (HandleAllocated())
        SetWindowStyleBit(FHandle, bit, on);
}

void TTreeView::SetBorderStyle(TFormBorderStyle v) {
    FBorderStyle = v == bsSingle ? bsSingle : bsNone;
    if (HandleAllocated()) {
        LONG_PTR ex = GetWindowLongPtrW(H(FHandle), GWL_EXSTYLE);
        SetWindowLongPtrW(H(FHandle), GWL_EXSTYLE,
                          FBorderStyle == bsSingle ? (ex | WS_EX_CLIENTEDGE)
                                                   : (ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE)));
        SetStyleBit(0, true);
    }
}

void TTreeView::SetCheckBoxes(bool v) {
    if (v == FCheckBoxes)
        return;
    FCheckBoxes = v;
    if (HandleAllocated()) {
        // The system cannot take the style back from a window: make a new one.
        DestroyHandle();
        HandleNeeded();
    }
}

void TTreeView::SetHideSelection(bool v) {
    FHideSelection = v;
    SetStyleBit(TVS_SHOWSELALWAYS, !v);
}

void TTreeView::SetReadOnly(bool v) {
    FReadOnly = v;
    SetStyleBit(TVS_EDITLABELS, !v);
}

void TTreeView::SetShowButtons(bool v) {
    FShowButtons = v;
    SetStyleBit(TVS_HASBUTTONS, v);
}

void TTreeView::SetShowLines(bool v) {
    FShowLines = v;
    SetStyleBit(TVS_HASLINES, v);
}

void TTreeView::SetShowRoot(bool v) {
    FShowRoot = v;
    SetStyleBit(TVS_LINESATROOT, v);
}

void TTreeView::SetImages(TImageList* v) {
    if (FImages)
        RemoveFreeNotification(FImages);
    FImages = v;
    if (v)
        FreeNotification(v);
    ApplyImageLists();
}

void TTreeView::SetStateImages(TImageList* v) {
    if (FStateImages)
        RemoveFreeNotification(FStateImages);
    FStateImages = v;
    if (v)
        FreeNotification(v);
    ApplyImageLists();
}

void TTreeView::Notification(TComponent* c, TOperation op) {
    TWinControl::Notification(c, op);
    if (op != opRemove)
        return;
    if (c == FImages)
        SetImages(nullptr);
    if (c == FStateImages)
        SetStateImages(nullptr);
}

// ---------------------------------------------------------------------------
// TListItem and TListView

int TListItem::Index() const {
    for (size_t i = 0; i < FOwner->FItems.size(); ++i)
        if (FOwner->FItems[i].get() == this)
            return static_cast<int>(i);
    return -1;
}

std::string TListItem::Caption() const {
    return FCaption;
}

void TListItem::SetCaption(const std::string& s) {
    FCaption = s;
    FOwner->WriteItem(Index(), 0);
}

void TListItem::AddSubItem(const std::string& s) {
    FSubItems.Add(s);
    FOwner->WriteItem(Index(), FSubItems.Count());
}

void TListItem::SetSubItem(int i, const std::string& s) {
    while (FSubItems.Count() <= i)
        FSubItems.Add("");
    FSubItems[i] = s;
    FOwner->WriteItem(Index(), i + 1);
}

void TListItem::SetImageIndex(int32_t v) {
    FImageIndex = v;
    if (FOwner->HandleAllocated()) {
        LVITEMW it{};
        it.mask = LVIF_IMAGE;
        it.iItem = Index();
        it.iImage = v;
        SendMessageW(H(FOwner->Handle()), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    }
}

int32_t TListItem::StateIndex() const {
    if (FOwner->HandleAllocated()) {
        auto state = static_cast<UINT>(SendMessageW(H(FOwner->Handle()), LVM_GETITEMSTATE,
                                                    static_cast<WPARAM>(Index()), LVIS_STATEIMAGEMASK));
        return static_cast<int32_t>(state >> 12) - 1;
    }
    return FStateIndex;
}

void TListItem::SetStateIndex(int32_t v) {
    FStateIndex = std::max(v, -1);
    if (FOwner->HandleAllocated()) {
        LVITEMW it{};
        it.stateMask = LVIS_STATEIMAGEMASK;
        it.state = INDEXTOSTATEIMAGEMASK(FStateIndex + 1);
        SendMessageW(H(FOwner->Handle()), LVM_SETITEMSTATE, static_cast<WPARAM>(Index()),
                     reinterpret_cast<LPARAM>(&it));
    }
}

void TListItem::Delete() {
    int i = Index();
    if (FOwner->HandleAllocated())
        SendMessageW(H(FOwner->Handle()), LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
    FOwner->FItems.erase(FOwner->FItems.begin() + i);
}

TListView::TListView(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 250;
    FHeight = 150;
    FColor = clWindow;
    FTabStop = true;
    FIconOptions.OnChange = [this] {
        if (HandleAllocated()) {
            SetStyleBit(LVS_ALIGNLEFT, FIconOptions.Arrangement() == iaLeft);
            SetStyleBit(LVS_AUTOARRANGE, FIconOptions.AutoArrange());
            SetStyleBit(LVS_NOLABELWRAP, !FIconOptions.WrapText());
        }
    };
}

TListView::~TListView() {
    DestroyHandle();
}

void TListView::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = WC_LISTVIEWW;
    p.OwnClass = false;
    static const uint32_t views[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    // The image lists belong to their components, not to the window.
    p.Style |= views[FViewStyle] | LVS_SHAREIMAGELISTS;
    if (!FReadOnly)
        p.Style |= LVS_EDITLABELS;
    if (!FColumnClick)
        p.Style |= LVS_NOSORTHEADER;
    if (!FHideSelection)
        p.Style |= LVS_SHOWSELALWAYS;
    if (!FShowColumnHeaders)
        p.Style |= LVS_NOCOLUMNHEADER;
    p.Style |= FIconOptions.Arrangement() == iaLeft ? LVS_ALIGNLEFT : LVS_ALIGNTOP;
    if (FIconOptions.AutoArrange())
        p.Style |= LVS_AUTOARRANGE;
    if (!FIconOptions.WrapText())
        p.Style |= LVS_NOLABELWRAP;
    if (FBorderStyle == bsSingle)
        p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListView::AfterCreateWnd() {
    ApplyImageLists();
    for (int i = 0; i < ColumnCount(); ++i)
        InsertColumn(i);
    for (int i = 0; i < Count(); ++i)
        InsertItem(i);
}

void TListView::InsertColumn(int index) {
    const TListColumn& c = FColumns[static_cast<size_t>(index)];
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = c.Alignment == taRightJustify ? LVCFMT_RIGHT
              : c.Alignment == taCenter     ? LVCFMT_CENTER
                                            : LVCFMT_LEFT;
    col.cx = c.Width;
    std::wstring text = Wide(c.Caption);
    col.pszText = text.data();
    col.iSubItem = index;
    SendMessageW(H(FHandle), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col));
}

void TListView::InsertItem(int index) {
    TListItem* item = FItems[static_cast<size_t>(index)].get();
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    it.iItem = index;
    std::wstring text = Wide(item->FCaption);
    it.pszText = text.data();
    it.iImage = item->FImageIndex;
    it.lParam = reinterpret_cast<LPARAM>(item);
    it.stateMask = LVIS_STATEIMAGEMASK;
    it.state = INDEXTOSTATEIMAGEMASK(item->FStateIndex + 1);
    if (SendMessageW(H(FHandle), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)) < 0)
        throw EOSError(Format("Cannot add the item %s to %s", {item->FCaption, Name()}));
    for (int s = 1; s <= item->FSubItems.Count(); ++s)
        WriteItem(index, s);
}

void TListView::WriteItem(int index, int sub) const {
    if (!HandleAllocated() || index < 0)
        return;
    const TListItem* item = FItems[static_cast<size_t>(index)].get();
    std::wstring text = Wide(sub == 0 ? item->FCaption : item->FSubItems[sub - 1]);
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = text.data();
    SendMessageW(H(FHandle), LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&it));
}

TListItem* TListView::Add() {
    FItems.push_back(std::unique_ptr<TListItem>(new TListItem(this)));
    if (HandleAllocated())
        InsertItem(Count() - 1);
    return FItems.back().get();
}

void TListView::Clear() {
    if (HandleAllocated())
        SendMessageW(H(FHandle), LVM_DELETEALLITEMS, 0, 0);
    FItems.clear();
}

void TListView::BeginUpdate() {
    if (HandleAllocated())
        SendMessageW(H(FHandle), WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    if (HandleAllocated()) {
        SendMessageW(H(FHandle), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(H(FHandle), nullptr, TRUE);
    }
}

void TListView::AddColumn(const std::string& caption, int32_t width, TAlignment alignment) {
    FColumns.push_back({caption, width, alignment});
    if (HandleAllocated())
        InsertColumn(ColumnCount() - 1);
}

void TListView::SetColumnCaption(int i, const std::string& caption) {
    FColumns.at(static_cast<size_t>(i)).Caption = caption;
    if (!HandleAllocated())
        return;
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    std::wstring text = Wide(caption);
    col.pszText = text.data();
    SendMessageW(H(FHandle), LVM_SETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
}

void TListView::SetColumnWidth(int i, int32_t width) {
    FColumns.at(static_cast<size_t>(i)).Width = width;
    if (HandleAllocated())
        SendMessageW(H(FHandle), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), MAKELPARAM(width, 0));
}

void TListView::ClearColumns() {
    if (HandleAllocated())
        for (int i = ColumnCount() - 1; i >= 0; --i)
            SendMessageW(H(FHandle), LVM_DELETECOLUMN, static_cast<WPARAM>(i), 0);
    FColumns.clear();
}

TListItem* TListView::Selected() const {
    if (!HandleAllocated())
        return nullptr;
    auto i =
        static_cast<int>(SendMessageW(H(FHandle), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return i >= 0 && i < Count() ? Item(i) : nullptr;
}

bool TListView::WantsDialogKey(uint16_t key) const {
    return key != VK_TAB && HandleAllocated() && SendMessageW(H(FHandle), LVM_GETEDITCONTROL, 0, 0) != 0;
}

void TListView::ChildNotify(TMessage& m) {
    auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
    m.Result = 0;
    switch (hdr->code) {
    case LVN_BEGINLABELEDITW:
        m.Result = FReadOnly ? TRUE : FALSE;
        break;
    case LVN_ENDLABELEDITW: {
        auto* nm = reinterpret_cast<NMLVDISPINFOW*>(hdr);
        if (nm->item.pszText && nm->item.iItem >= 0 && nm->item.iItem < Count()) {
            Item(nm->item.iItem)->FCaption = Narrow(nm->item.pszText);
            m.Result = TRUE;
        }
        break;
    }
    }
}

void TListView::SetStyleBit(uint32_t bit, bool on) {
    if (HandleAllocated())
        SetWindowStyleBit(FHandle, bit, on);
}

void TListView::SetViewStyle(TViewStyle v) {
    FViewStyle = v;
    if (HandleAllocated()) {
        static const uint32_t views[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
        SetStyleBit(LVS_TYPEMASK, false);
        SetStyleBit(views[v], true);
    }
}

void TListView::SetBorderStyle(TFormBorderStyle v) {
    FBorderStyle = v == bsSingle ? bsSingle : bsNone;
    if (HandleAllocated()) {
        LONG_PTR ex = GetWindowLongPtrW(H(FHandle), GWL_EXSTYLE);
        SetWindowLongPtrW(H(FHandle), GWL_EXSTYLE,
                          FBorderStyle == bsSingle ? (ex | WS_EX_CLIENTEDGE)
                                                   : (ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE)));
        SetStyleBit(0, true);
    }
}

void TListView::SetReadOnly(bool v) {
    FReadOnly = v;
    SetStyleBit(LVS_EDITLABELS, !v);
}

void TListView::SetColumnClick(bool v) {
    FColumnClick = v;
    SetStyleBit(LVS_NOSORTHEADER, !v);
}

void TListView::SetHideSelection(bool v) {
    FHideSelection = v;
    SetStyleBit(LVS_SHOWSELALWAYS, !v);
}

void TListView::SetShowColumnHeaders(bool v) {
    FShowColumnHeaders = v;
    SetStyleBit(LVS_NOCOLUMNHEADER, !v);
}

void TListView::ApplyImageLists() {
    if (!HandleAllocated())
        return;
    SendMessageW(H(FHandle), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(ListOf(FLargeImages)));
    SendMessageW(H(FHandle), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(ListOf(FSmallImages)));
    SendMessageW(H(FHandle), LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(ListOf(FStateImages)));
}

static void SwapImageList(TComponent* self, TImageList*& field, TImageList* v) {
    if (field)
        self->RemoveFreeNotification(field);
    field = v;
    if (v)
        self->FreeNotification(v);
}

void TListView::SetLargeImages(TImageList* v) {
    SwapImageList(this, FLargeImages, v);
    ApplyImageLists();
}

void TListView::SetSmallImages(TImageList* v) {
    SwapImageList(this, FSmallImages, v);
    ApplyImageLists();
}

void TListView::SetStateImages(TImageList* v) {
    SwapImageList(this, FStateImages, v);
    ApplyImageLists();
}

void TListView::Notification(TComponent* c, TOperation op) {
    TWinControl::Notification(c, op);
    if (op != opRemove)
        return;
    if (c == FLargeImages)
        SetLargeImages(nullptr);
    if (c == FSmallImages)
        SetSmallImages(nullptr);
    if (c == FStateImages)
        SetStateImages(nullptr);
}

// ---------------------------------------------------------------------------
// TTabControl

TTabControl::TTabControl(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 289;
    FHeight = 193;
    FTabStop = true;
}

void TTabControl::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = WC_TABCONTROLW;
    p.OwnClass = false;
}

void TTabControl::InsertTab(int index) {
    std::wstring text = Wide(FTabs[index]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(H(FHandle), TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void TTabControl::AfterCreateWnd() {
    for (int i = 0; i < FTabs.Count(); ++i)
        InsertTab(i);
    SendMessageW(H(FHandle), TCM_SETCURSEL, static_cast<WPARAM>(FTabIndex), 0);
}

void TTabControl::SetTabs(const TStringList& tabs) {
    int32_t index = TabIndex();
    FTabs = tabs;
    if (HandleAllocated()) {
        SendMessageW(H(FHandle), TCM_DELETEALLITEMS, 0, 0);
        AfterCreateWnd();
    }
    if (!Loading())
        SetTabIndex(index < FTabs.Count() ? index : -1);
}

void TTabControl::AddTab(const std::string& caption) {
    FTabs.Add(caption);
    if (HandleAllocated())
        InsertTab(FTabs.Count() - 1);
}

int32_t TTabControl::TabIndex() const {
    if (HandleAllocated())
        FTabIndex = static_cast<int32_t>(SendMessageW(H(FHandle), TCM_GETCURSEL, 0, 0));
    return FTabIndex;
}

void TTabControl::SetTabIndex(int32_t v) {
    // The tabs may come after the index in a layout.
    FTabIndex = Loading() || (v >= -1 && v < FTabs.Count()) ? v : -1;
    if (HandleAllocated())
        SendMessageW(H(FHandle), TCM_SETCURSEL, static_cast<WPARAM>(FTabIndex), 0);
}

void TTabControl::Loaded() {
    TWinControl::Loaded();
    SetTabIndex(FTabIndex);
}

void TTabControl::ChildNotify(TMessage& m) {
    auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
    m.Result = 0;
    if (hdr->code == TCN_SELCHANGING)
        m.Result = CanChange() ? FALSE : TRUE;
    else if (hdr->code == TCN_SELCHANGE)
        Change();
}

bool TTabControl::CanChange() {
    bool allow = true;
    if (OnChanging)
        OnChanging(this, allow);
    return allow;
}

void TTabControl::Change() {
    if (OnChange)
        OnChange(this);
}

// ---------------------------------------------------------------------------
// Class descriptions

const TClassInfo& TProgressBar::StaticClass() {
    static const TClassInfo info = DescribeClass<TProgressBar, TWinControl>("TProgressBar", [](auto& c) {
        c.Int("Min", &TProgressBar::Min, &TProgressBar::SetMin, 0);
        c.Int("Max", &TProgressBar::Max, &TProgressBar::SetMax, 100);
        c.Int("Position", &TProgressBar::Position, &TProgressBar::SetPosition, 0);
        c.Int("Step", &TProgressBar::Step, &TProgressBar::SetStep, 10);
        c.Bool("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth, false);
        c.Enum("Orientation", {"pbHorizontal", "pbVertical"}, &TProgressBar::Orientation,
               &TProgressBar::SetOrientation, pbHorizontal);
    });
    return info;
}

const TClassInfo& TImageList::StaticClass() {
    static const TClassInfo info = DescribeClass<TImageList, TComponent>("TImageList", [](auto& c) {
        c.Int("Width", &TImageList::Width, &TImageList::SetWidth, 16);
        c.Int("Height", &TImageList::Height, &TImageList::SetHeight, 16);
        c.Bool("Masked", &TImageList::Masked, &TImageList::SetMasked, true);
        c.Picture("Bitmap", [](TImageList& o) -> TPicture& { return o.Bitmap(); });
    });
    return info;
}

const TClassInfo& TTreeView::StaticClass() {
    static const TClassInfo info = DescribeClass<TTreeView, TWinControl>("TTreeView", [](auto& c) {
        c.Enum("BorderStyle", {"bsNone", "bsSingle"}, &TTreeView::BorderStyle, &TTreeView::SetBorderStyle,
               bsSingle);
        c.Bool("CheckBoxes", &TTreeView::CheckBoxes, &TTreeView::SetCheckBoxes, false);
        c.Bool("HideSelection", &TTreeView::HideSelection, &TTreeView::SetHideSelection, true);
        c.Bool("ReadOnly", &TTreeView::ReadOnly, &TTreeView::SetReadOnly, false);
        c.Bool("ShowButtons", &TTreeView::ShowButtons, &TTreeView::SetShowButtons, true);
        c.Bool("ShowLines", &TTreeView::ShowLines, &TTreeView::SetShowLines, true);
        c.Bool("ShowRoot", &TTreeView::ShowRoot, &TTreeView::SetShowRoot, true);
        c.Bool("TabStop", &TTreeView::TabStop, &TTreeView::SetTabStop, true);
        c.template Ref<TImageList>("Images", &TTreeView::Images, &TTreeView::SetImages);
        c.template Ref<TImageList>("StateImages", &TTreeView::StateImages, &TTreeView::SetStateImages);
        c.Event("OnChange", &TTreeView::OnChange);
        c.Event("OnCheckChange", &TTreeView::OnCheckChange);
        c.Event("OnCollapsed", &TTreeView::OnCollapsed);
        c.Event("OnDblClick", &TTreeView::OnDblClick);
        c.Event("OnExpanded", &TTreeView::OnExpanded);
        c.Event("OnKeyDown", &TTreeView::OnKeyDown);
        c.Event("OnKeyUp", &TTreeView::OnKeyUp);
    });
    return info;
}

const TClassInfo& TIconOptions::StaticClass() {
    static const TClassInfo info = DescribeClass<TIconOptions, TPersistent>("TIconOptions", [](auto& c) {
        c.Enum("Arrangement", {"iaTop", "iaLeft"}, &TIconOptions::Arrangement, &TIconOptions::SetArrangement,
               iaTop);
        c.Bool("AutoArrange", &TIconOptions::AutoArrange, &TIconOptions::SetAutoArrange, false);
        c.Bool("WrapText", &TIconOptions::WrapText, &TIconOptions::SetWrapText, true);
    });
    return info;
}

const TClassInfo& TListView::StaticClass() {
    static const TClassInfo info = DescribeClass<TListView, TWinControl>("TListView", [](auto& c) {
        c.Enum("BorderStyle", {"bsNone", "bsSingle"}, &TListView::BorderStyle, &TListView::SetBorderStyle,
               bsSingle);
        c.Bool("ColumnClick", &TListView::ColumnClick, &TListView::SetColumnClick, true);
        c.Bool("HideSelection", &TListView::HideSelection, &TListView::SetHideSelection, true);
        c.Nested("IconOptions", [](TListView& o) -> TPersistent* { return &o.IconOptions(); });
        c.template Ref<TImageList>("LargeImages", &TListView::LargeImages, &TListView::SetLargeImages);
        c.Bool("ReadOnly", &TListView::ReadOnly, &TListView::SetReadOnly, false);
        c.Bool("ShowColumnHeaders", &TListView::ShowColumnHeaders, &TListView::SetShowColumnHeaders, true);
        c.template Ref<TImageList>("SmallImages", &TListView::SmallImages, &TListView::SetSmallImages);
        c.template Ref<TImageList>("StateImages", &TListView::StateImages, &TListView::SetStateImages);
        c.Bool("TabStop", &TListView::TabStop, &TListView::SetTabStop, true);
        c.Enum("ViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"}, &TListView::ViewStyle,
               &TListView::SetViewStyle, vsIcon);
        c.Event("OnKeyDown", &TListView::OnKeyDown);
    });
    return info;
}

const TClassInfo& TTabControl::StaticClass() {
    static const TClassInfo info = DescribeClass<TTabControl, TWinControl>("TTabControl", [](auto& c) {
        c.Strings("Tabs", &TTabControl::Tabs, &TTabControl::SetTabs);
        c.Int("TabIndex", &TTabControl::TabIndex, &TTabControl::SetTabIndex, -1);
        c.Bool("TabStop", &TTabControl::TabStop, &TTabControl::SetTabStop, true);
        c.Event("OnChange", &TTabControl::OnChange);
        c.Event("OnChanging", &TTabControl::OnChanging);
    });
    return info;
}
