// The wizard window: the modal window in which a dialog manager shows the
// pages of its wizard, one over the other, ordered by Order, with Next and
// Back passing over the pages that ask to be skipped.
#pragma once
#include "dialogs/ordlg_BaseForms.h"

class TPanel;
class TTabControl;

class TBaseFormContainer : public TForm {
    QFD_CLASS(TBaseFormContainer)
public:
    explicit TBaseFormContainer(TComponent* AOwner);
    ~TBaseFormContainer() override;

    virtual void NextPage();
    virtual void PreviousPage();
    // Places the window by the placement rule from its current size.
    virtual void PlaceWindow(TQuenfoldDialogPosition Position, int32_t LeftOffset, int32_t TopOffset);

    // Creates the pages the page registry offers for the current dialog
    // manager; returns how many there are.
    int BuildPages();
    // Makes the page at index current, passing over skipped pages in the
    // direction given; false when there is no such page.
    bool ShowPage(int Index, bool Backwards);
    bool IsFirstPage();
    bool IsLastPage();

    int PageCount() const { return static_cast<int>(FPages.size()); }
    TBaseInstallForm* Pages(int i) const { return FPages.at(static_cast<size_t>(i)); }
    // The index of the current page; -1 before the first is shown.
    int CurrentIndex() const;
    TBaseInstallForm* CurrentPage() const;
    bool Finished() const { return FFinished; }

    // The handlers of its stored layout.
    void FormCreate(TObject*);
    void FormDestroy(TObject*);
    void FormShow(TObject*);
    void FormClose(TObject*, TCloseAction& Action);
    void FormResize(TObject*);
    void TabsChange(TObject*);
    void TabsChanging(TObject*, bool& AllowChange);

private:
    TPanel* DisplayPanel() const;
    TTabControl* Tabs() const;

    std::vector<TBaseInstallForm*> FPages;
    bool FResizing = false;
    bool FFinished = false;
};
