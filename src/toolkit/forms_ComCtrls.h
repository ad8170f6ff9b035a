// The common controls: progress bar, image list, tree view, list view and tab control.
#pragma once
#include "toolkit/forms_Forms.h"
#include <memory>

enum TProgressBarOrientation { pbHorizontal, pbVertical };

// A bar that fills from Min to Max as Position grows.
class TProgressBar : public TWinControl {
    QFD_CLASS(TProgressBar)
public:
    explicit TProgressBar(TComponent* AOwner);
    int32_t Min() const { return FMin; }
    void SetMin(int32_t v);
    int32_t Max() const { return FMax; }
    void SetMax(int32_t v);
    // Read from the window when it exists; a value outside Min..Max is kept within.
    int32_t Position() const;
    void SetPosition(int32_t v);
    int32_t Step() const { return FStep; }
    void SetStep(int32_t v);
    void StepIt();
    void StepBy(int32_t delta) { SetPosition(Position() + delta); }
    bool Smooth() const { return FSmooth; }
    void SetSmooth(bool v);
    TProgressBarOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TProgressBarOrientation v);

    void Loaded() override;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;

private:
    void Recreate();
    int32_t FMin = 0, FMax = 100, FStep = 10;
    mutable int32_t FPosition = 0;
    bool FSmooth = false;
    TProgressBarOrientation FOrientation = pbHorizontal;
};

// Images of one size for tree views, list views and buttons. The stored
// Bitmap is a strip of images side by side; with Masked the colour of its
// bottom-left pixel is left out.
class TImageList : public TComponent {
    QFD_CLASS(TImageList)
public:
    explicit TImageList(TComponent* AOwner);
    ~TImageList() override;
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t v);
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t v);
    bool Masked() const { return FMasked; }
    void SetMasked(bool v);
    TPicture& Bitmap() { return FBitmap; }
    // Adds the images of a strip picture; returns the index of the first.
    int32_t Add(const TPicture& strip);
    void Clear();
    int32_t Count() const;
    // The system's image list (HIMAGELIST), made at first use and kept for
    // the component's life, so the controls that show it never hold a stale one.
    uintptr_t Handle() const;

private:
    void Refill() const;
    int32_t FWidth = 16, FHeight = 16;
    bool FMasked = true;
    TPicture FBitmap;             // the stored strip
    std::vector<TPicture> FAdded; // strips added at run time
    mutable uintptr_t FHandle = 0;
};

class TTreeView;
class TTreeNodes;

// One node of a tree view. The tree keeps its nodes whether or not its
// window exists; while it does, the state a person can change (expanded,
// selected, checked) is read from the window.
class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    TTreeView* TreeView() const;
    const std::string& Text() const { return FText; }
    void SetText(const std::string& s);
    void* Data() const { return FData; }
    void SetData(void* d) { FData = d; }
    TTreeNode* Parent() const { return FParent; }
    int Count() const { return static_cast<int>(FChildren.size()); }
    TTreeNode* Item(int i) const { return FChildren.at(static_cast<size_t>(i)).get(); }
    bool HasChildren() const { return !FChildren.empty(); }
    // Position among its siblings; depth (0 for a top node).
    int Index() const;
    int Level() const;
    TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front().get(); }
    TTreeNode* GetNextSibling() const;
    // The next node in tree order (children first); nullptr after the last.
    TTreeNode* GetNext() const;

    bool Expanded() const;
    void SetExpanded(bool v);
    void Expand(bool recurse);
    void Collapse(bool recurse);
    bool Selected() const;
    void SetSelected(bool v);
    void MakeVisible();
    // Every ancestor is expanded (the node may still be scrolled out of sight).
    bool IsVisible() const;
    // The node's row (or only its text) in the tree's client coordinates;
    // empty when the node is not visible or the tree has no window.
    TRect DisplayRect(bool textOnly) const;
    // With the tree's CheckBoxes on: the tick a person sees and sets.
    bool Checked() const;
    void SetChecked(bool v);
    int32_t ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int32_t v);
    int32_t SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int32_t v);
    // An image of the tree's StateImages (-1: none); not used with CheckBoxes.
    int32_t StateIndex() const { return FStateIndex; }
    void SetStateIndex(int32_t v);
    // Removes the node and its children from the tree.
    void Delete();
    uintptr_t ItemId() const { return FItem; }

private:
    friend class TTreeNodes;
    friend class TTreeView;
    explicit TTreeNode(TTreeNodes* owner, TTreeNode* parent) : FOwner(owner), FParent(parent) {}
    uintptr_t TreeHandle() const;
    void UpdateItem(uint32_t mask) const;
    TTreeNodes* FOwner;
    TTreeNode* FParent;
    std::vector<std::unique_ptr<TTreeNode>> FChildren;
    std::string FText;
    void* FData = nullptr;
    int32_t FImageIndex = -1, FSelectedIndex = -1, FStateIndex = -1;
    // Kept here while the window does not exist (or before it has the node).
    mutable bool FExpanded = false, FChecked = false;
    uintptr_t FItem = 0; // HTREEITEM while the window has the node
};

// The nodes of a tree view, in tree order.
class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* owner) : FOwner(owner) {}
    ~TTreeNodes();
    TTreeNodes(const TTreeNodes&) = delete;
    TTreeNodes& operator=(const TTreeNodes&) = delete;
    TTreeView* Owner() const { return FOwner; }
    // A node after the last sibling of sibling (a top node when sibling is nullptr).
    TTreeNode* Add(TTreeNode* sibling, const std::string& text);
    TTreeNode* AddObject(TTreeNode* sibling, const std::string& text, void* data);
    // A node after the last child of parent (a top node when parent is nullptr).
    TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
    TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
    void Delete(TTreeNode* node);
    void Clear();
    // Every node, in tree order.
    int Count() const;
    TTreeNode* Item(int i) const;
    TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
    int TopCount() const { return static_cast<int>(FRoots.size()); }
    TTreeNode* Top(int i) const { return FRoots.at(static_cast<size_t>(i)).get(); }
    // Suspends painting while many nodes change.
    void BeginUpdate();
    void EndUpdate();

private:
    friend class TTreeNode;
    friend class TTreeView;
    std::vector<std::unique_ptr<TTreeNode>>& SiblingsOf(TTreeNode* parent);
    TTreeView* FOwner;
    std::vector<std::unique_ptr<TTreeNode>> FRoots;
    int FUpdating = 0;
};

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVExpandedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;

// The system's tree view. Subclasses override the virtual reactions (a click,
// a node expanded or collapsed, a key, scrolling, a tick changed by the
// person); each runs its event.
class TTreeView : public TWinControl {
    QFD_CLASS(TTreeView)
public:
    explicit TTreeView(TComponent* AOwner);
    ~TTreeView() override;
    TTreeNodes& Items() { return *FItems; }
    TTreeNode* Selected() const;
    void SetSelected(TTreeNode* node);
    // The node at a point of the client area (nullptr for none).
    TTreeNode* GetNodeAt(int32_t x, int32_t y) const;
    TTreeNode* NodeOfItem(uintptr_t item) const;
    TTreeNode* TopItem() const;
    // While a node's text is edited, Return and Escape end the editing.
    bool WantsDialogKey(uint16_t key) const override;

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    bool CheckBoxes() const { return FCheckBoxes; }
    void SetCheckBoxes(bool v);
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool v);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    bool ShowButtons() const { return FShowButtons; }
    void SetShowButtons(bool v);
    bool ShowLines() const { return FShowLines; }
    void SetShowLines(bool v);
    bool ShowRoot() const { return FShowRoot; }
    void SetShowRoot(bool v);
    TImageList* Images() const { return FImages; }
    void SetImages(TImageList* v);
    TImageList* StateImages() const { return FStateImages; }
    void SetStateImages(TImageList* v);

    TNotifyEvent OnDblClick;
    TTVChangedEvent OnChange;
    TTVExpandedEvent OnExpanded, OnCollapsed;
    // A tick the person changed (a click on the box or the space bar).
    TTVChangedEvent OnCheckChange;
    TNotifyEvent OnScroll;

    void Notification(TComponent* c, TOperation op) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void WndProc(TMessage& msg) override;
    void ChildNotify(TMessage& msg) override;
    virtual void Change(TTreeNode* node);
    virtual void Expanded(TTreeNode* node);
    virtual void Collapsed(TTreeNode* node);
    virtual void CheckChanged(TTreeNode* node);
    virtual void Scrolled();
    virtual void DblClick();

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    void InsertItem(TTreeNode* node);
    void InsertItems(std::vector<std::unique_ptr<TTreeNode>>& nodes);
    void ForgetItems(std::vector<std::unique_ptr<TTreeNode>>& nodes);
    void ApplyImageLists();
    void SetStyleBit(uint32_t bit, bool on);
    TTreeNode* FindNode(uintptr_t item) const;
    void SyncFromWindow(std::vector<std::unique_ptr<TTreeNode>>& nodes);
    std::unique_ptr<TTreeNodes> FItems;
    TFormBorderStyle FBorderStyle = bsSingle;
    bool FCheckBoxes = false, FHideSelection = true, FReadOnly = false;
    bool FShowButtons = true, FShowLines = true, FShowRoot = true;
    TImageList* FImages = nullptr;
    TImageList* FStateImages = nullptr;
    TTreeNode* FSelectedWhileHidden = nullptr;
    // Set while the program itself changes the window: no events then.
    int FQuiet = 0;
};

class TListView;

// One row of a list view: its caption and the texts of the further columns.
class TListItem {
public:
    TListItem(const TListItem&) = delete;
    TListItem& operator=(const TListItem&) = delete;
    TListView* ListView() const { return FOwner; }
    int Index() const;
    // As shown, a person's renaming included.
    std::string Caption() const;
    void SetCaption(const std::string& s);
    const TStringList& SubItems() const { return FSubItems; }
    void AddSubItem(const std::string& s);
    void SetSubItem(int i, const std::string& s);
    int32_t ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int32_t v);
    // An image of the list's StateImages (-1: none).
    int32_t StateIndex() const;
    void SetStateIndex(int32_t v);
    void* Data() const { return FData; }
    void SetData(void* d) { FData = d; }
    void Delete();

private:
    friend class TListView;
    explicit TListItem(TListView* owner) : FOwner(owner) {}
    TListView* FOwner;
    std::string FCaption;
    TStringList FSubItems;
    int32_t FImageIndex = -1, FStateIndex = -1;
    void* FData = nullptr;
};

struct TListColumn {
    std::string Caption;
    int32_t Width = 50;
    TAlignment Alignment = taLeftJustify;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TIconArrangement { iaTop, iaLeft };

// How a list view lays out its icons (stored as IconOptions.Arrangement and so on).
class TIconOptions : public TPersistent {
    QFD_CLASS(TIconOptions)
public:
    TIconArrangement Arrangement() const { return FArrangement; }
    void SetArrangement(TIconArrangement v) { Change(FArrangement, v); }
    bool AutoArrange() const { return FAutoArrange; }
    void SetAutoArrange(bool v) { Change(FAutoArrange, v); }
    bool WrapText() const { return FWrapText; }
    void SetWrapText(bool v) { Change(FWrapText, v); }
    std::function<void()> OnChange;

private:
    template <class V> void Change(V& field, V v) {
        field = v;
        if (OnChange)
            OnChange();
    }
    TIconArrangement FArrangement = iaTop;
    bool FAutoArrange = false, FWrapText = true;
};

// The system's list view, with columns in the report view and images from
// image lists.
class TListView : public TWinControl {
    QFD_CLASS(TListView)
public:
    explicit TListView(TComponent* AOwner);
    ~TListView() override;
    int Count() const { return static_cast<int>(FItems.size()); }
    TListItem* Item(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }
    TListItem* Add();
    void Clear();
    void BeginUpdate();
    void EndUpdate();
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    const TListColumn& Column(int i) const { return FColumns.at(static_cast<size_t>(i)); }
    void AddColumn(const std::string& caption, int32_t width, TAlignment alignment = taLeftJustify);
    // A new caption for column i (a translation), shown at once.
    void SetColumnCaption(int i, const std::string& caption);
    void SetColumnWidth(int i, int32_t width);
    void ClearColumns();
    TListItem* Selected() const;
    // While an item's text is edited, Return and Escape end the editing.
    bool WantsDialogKey(uint16_t key) const override;

    TViewStyle ViewStyle() const { return FViewStyle; }
    void SetViewStyle(TViewStyle v);
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    bool ColumnClick() const { return FColumnClick; }
    void SetColumnClick(bool v);
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool v);
    bool ShowColumnHeaders() const { return FShowColumnHeaders; }
    void SetShowColumnHeaders(bool v);
    TIconOptions& IconOptions() { return FIconOptions; }
    TImageList* LargeImages() const { return FLargeImages; }
    void SetLargeImages(TImageList* v);
    TImageList* SmallImages() const { return FSmallImages; }
    void SetSmallImages(TImageList* v);
    TImageList* StateImages() const { return FStateImages; }
    void SetStateImages(TImageList* v);

    void Notification(TComponent* c, TOperation op) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void ChildNotify(TMessage& msg) override;

private:
    friend class TListItem;
    void InsertItem(int index);
    void WriteItem(int index, int sub) const;
    void InsertColumn(int index);
    void ApplyImageLists();
    void SetStyleBit(uint32_t bit, bool on);
    std::vector<std::unique_ptr<TListItem>> FItems;
    std::vector<TListColumn> FColumns;
    TViewStyle FViewStyle = vsIcon;
    TFormBorderStyle FBorderStyle = bsSingle;
    bool FReadOnly = false, FColumnClick = true, FHideSelection = true, FShowColumnHeaders = true;
    TIconOptions FIconOptions;
    TImageList* FLargeImages = nullptr;
    TImageList* FSmallImages = nullptr;
    TImageList* FStateImages = nullptr;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// The system's tab control: a row of tabs, one of them current. Only a
// person's change of tab runs OnChanging (which may refuse it) and OnChange.
class TTabControl : public TWinControl {
    QFD_CLASS(TTabControl)
public:
    explicit TTabControl(TComponent* AOwner);
    const TStringList& Tabs() const { return FTabs; }
    void SetTabs(const TStringList& tabs);
    void AddTab(const std::string& caption);
    // -1: no tab is current. Read from the window when it exists.
    int32_t TabIndex() const;
    void SetTabIndex(int32_t v);
    void Loaded() override;

    TTabChangingEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void ChildNotify(TMessage& msg) override;
    virtual bool CanChange();
    virtual void Change();

private:
    void InsertTab(int index);
    TStringList FTabs;
    mutable int32_t FTabIndex = -1;
};
