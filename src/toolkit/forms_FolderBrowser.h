// The folder browser: the system's dialog for picking a folder, with a
// button that creates a folder and an edit box that shows the chosen path
// and takes a typed one.
#pragma once
#include "toolkit/forms_StdCtrls.h"
#include <cstdint>
#include <string>

// The texts the browser borrows from the system's libraries; each has a
// stand-in of ours for a library that lacks it.
struct TOFDResourceStrings {
    static std::string CreateFolderCaption(); // string 703 of comdlg32.dll
    static std::string NewFolderPrompt();     // string 8977 of shell32.dll
    static std::string BrowseTitle();         // string 9248 of shell32.dll, a format filled with ""
};

class TOpenFolderDialog;

// The button the browser gets to create a folder.
class TOFDCreateButton : public TButton {
    QFD_CLASS(TOFDCreateButton)
public:
    using TButton::TButton;
};

// The edit box the browser gets for the path.
class TOFDPathEdit : public TEdit {
    QFD_CLASS(TOFDPathEdit)
public:
    using TEdit::TEdit;
};

using TCreateFolderEvent = std::function<void(TObject* Sender, bool& Allow)>;

class TOpenFolderDialog : public TComponent {
    QFD_CLASS(TOpenFolderDialog)
public:
    explicit TOpenFolderDialog(TComponent* AOwner);
    ~TOpenFolderDialog() override;

    // Shows the browser; true when a folder was chosen, which is then in Directory.
    bool Execute();
    // The folder to select when the browser opens, and the one chosen.
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& v) { FDirectory = v; }
    bool ShowCreateButton() const { return FShowCreateButton; }
    void SetShowCreateButton(bool v) { FShowCreateButton = v; }
    bool ShowPathEdit() const { return FShowPathEdit; }
    void SetShowPathEdit(bool v) { FShowPathEdit = v; }

    // Before a folder is created; Allow false stops it.
    TCreateFolderEvent OnCreateFolder;

    // While the browser is open: its window, the create button and the edit box.
    uintptr_t BrowserWindow() const { return FBrowser; }
    TOFDCreateButton* CreateButton() const { return FCreateButton; }
    TOFDPathEdit* PathEdit() const { return FPathEdit; }

private:
    struct TChildRect {
        uintptr_t Window = 0;
        TRect Rect; // in the browser's client coordinates
    };
    friend struct TOFDCallbacks;
    bool ExecuteOnce();
    void Initialized(uintptr_t browser);
    void FindBrowserControls();
    void AddCreateButton();
    void AddPathEdit();
    void SelectionChanged(const std::string& path);
    void PathEditKeyUp(TObject* sender, uint16_t& key, TShiftState shift);
    void CreateButtonClick(TObject* sender);
    void SelectPath(const std::string& path);
    void FreeControls();
    void RetrySelection();

    std::string FDirectory;
    bool FShowCreateButton = true, FShowPathEdit = true;
    std::string FCurrentPath;
    bool FReopen = false, FSelecting = false, FTyping = false;
    // The folder the browser opens on, tried again while the browser has not taken it.
    std::string FStartPath;
    bool FSelectionSeen = false;
    int FSelectTries = 0;
    uintptr_t FBrowser = 0;
    TChildRect FTree, FOK, FCancel;
    TOFDCreateButton* FCreateButton = nullptr;
    TOFDPathEdit* FPathEdit = nullptr;
};
