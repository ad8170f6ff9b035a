// Forms (top-level windows built from their stored layouts) and the
// application object that runs the message loop.
#pragma once
#include "toolkit/forms_Controls.h"
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = uint32_t; // bit (1 << TBorderIcon)
enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int32_t;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
                       mrNo = 7;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
    QFD_CLASS(TForm)
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    // Reads the form's stored layout from the program's resources (named after
    // the class in upper case) and runs OnCreate. CreateForm<T> calls it.
    void InitFromResource();
    // The same from a layout text (tests, tools).
    void InitFromText(const std::string& layout);
    // A second window of a kind under the same owner (two progress windows,
    // two pages of one kind) takes the name with _1, _2, ... after it.
    void SetName(const std::string& newName) override;

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons v);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition v) { FPosition = v; }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState v);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle v) { FFormStyle = v; }
    void SetClientWidth(int32_t v);
    void SetClientHeight(int32_t v);
    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;

    void Show();
    void Hide();
    void Close();
    bool CloseQuery();
    // Shows the form modally and returns its ModalResult.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult r) { FModalResult = r; }
    bool Modal() const { return FModal; }
    bool Active() const { return FActive; }
    // Brings the form to the front and makes it the active window.
    void BringToFront();

    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor c);

    TNotifyEvent OnCreate, OnShow, OnHide, OnActivate, OnDeactivate, OnDestroy, OnResize;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    void WndProc(TMessage& msg) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void BeforeDestruction() override;
    void SetVisible(bool v) override;
    void BoundsChanged() override;
    virtual void DoCreate();
    virtual void DoShow();
    virtual void DoClose(TCloseAction& action);
    void PlaceWindow();

private:
    TFormBorderStyle FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons = (1u << biSystemMenu) | (1u << biMinimize) | (1u << biMaximize);
    TPosition FPosition = poDesigned;
    TWindowState FWindowState = wsNormal;
    TFormStyle FFormStyle = fsNormal;
    std::optional<int32_t> FClientWidthWanted, FClientHeightWanted;
    TModalResult FModalResult = mrNone;
    bool FModal = false;
    bool FActive = false;
    bool FShownOnce = false;
    TCursor FCursor = crDefault;
    uintptr_t FActiveWindow = 0; // the focused child when the form was last deactivated
};

// The outermost form a control sits in (a page's wizard window, not the
// page); nullptr for a control in a window that is not ours.
TForm* GetParentForm(TControl* c);

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;
// What an unattended program would have shown: Kind is "Error" for an
// exception's report, "Message" for a message box (with the answer taken).
using TQuietReportEvent = std::function<void(const std::string& Kind, const std::string& Text)>;

class TApplication : public TComponent {
    QFD_CLASS(TApplication)
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    void Initialize();
    // Creates a form from its stored layout, owned by the application; the
    // first form created becomes the main form.
    template <class T> T* CreateForm() {
        T* form = new T(this);
        try {
            form->InitFromResource();
        } catch (...) {
            form->Free();
            throw;
        }
        if (!FMainForm)
            FMainForm = form;
        return form;
    }
    // Shows the main form and runs the message loop until Terminate.
    void Run();
    // Runs every pending message, then returns.
    void ProcessMessages();
    // Waits for one message and runs it (modal loops).
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return FTerminated; }

    TForm* MainForm() const { return FMainForm; }
    void SetMainForm(TForm* f) { FMainForm = f; }
    // The hidden window that owns the forms (and message boxes of the program).
    uintptr_t Handle() const { return FHandle; }
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& t) { FTitle = t; }
    const std::string& ExeName() const { return FExeName; }

    // Every exception caught in the message loop or a window procedure comes
    // here: the installed handler gets it, else it is shown in a message box.
    // EAbort is silent.
    void HandleException(TObject* sender, const Exception& e);
    // Catches the exception in flight (inside a catch block) and handles it.
    void HandleCurrentException(TObject* sender = nullptr);
    void ShowException(const Exception& e);
    TExceptionEvent OnException;

    // Unattended: nobody sits at the screen. The main form is not shown,
    // exceptions and message boxes go to OnQuietReport instead of a window,
    // and a message box answers with its default button.
    int32_t MessageBox(const std::string& text, const std::string& caption, uint32_t flags);
    bool Quiet() const { return FQuiet; }
    void SetQuiet(bool v) { FQuiet = v; }
    TQuietReportEvent OnQuietReport;
    // Hands a report to OnQuietReport (nothing when it is unset).
    void QuietReport(const std::string& kind, const std::string& text);

    // The program's exit code, returned by RunApplication when nothing
    // escaped the message loop.
    int32_t ExitCode() const { return FExitCode; }
    void SetExitCode(int32_t v) { FExitCode = v; }

    // Runs call once the message loop gets to it, like any message: an
    // exception goes to HandleException. Dropped when target goes first.
    void QueueCall(TComponent* target, std::function<void()> call);
    // Runs the queued calls (the message posted by QueueCall).
    void RunQueuedCalls();

    // The cursor of every form while set (crHourGlass during long work).
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor c);

    void Notification(TComponent* c, TOperation op) override;

    // Frees the form once the current message is done (a close with caFree).
    // Asking twice frees it once; a form freed meanwhile is left alone.
    void ReleaseForm(TForm* form);
    // Runs a release posted by ReleaseForm.
    void FreeReleasedForm(TForm* form);

private:
    bool ProcessOneMessage();
    std::vector<TForm*> FReleased;
    std::vector<std::pair<TComponent*, std::function<void()>>> FQueued;
    bool FQuiet = false;
    int32_t FExitCode = 0;
    TForm* FMainForm = nullptr;
    uintptr_t FHandle = 0;
    std::string FTitle;
    std::string FExeName;
    bool FTerminated = false;
    TCursor FCursor = crDefault;
};

// The program's one application object (created on first use).
TApplication* Application();

// Shows the report of an exception that ended the program before its message
// loop ran ("Application Error": class, module and message); an unattended
// program reports it through OnQuietReport instead.
void ShowFatalException(const std::exception& e);

// The body of a program's entry: loads DLLs from the system folder only,
// initialises the application, creates the forms, runs the message loop,
// reports an exception that escapes before the loop as "Application Error"
// and at the end frees the application with its forms and their components.
// Returns the exit code: 1 after such an exception, else the application's
// ExitCode.
int RunApplication(const std::function<void()>& createForms);

// Text of an RCDATA resource of the program; nullopt when there is none.
std::optional<std::string> LoadRcDataResource(const std::string& name);

// A BITMAP resource of the program as the bytes of a bitmap file; empty when
// there is none.
std::vector<uint8_t> LoadBitmapResource(const std::string& name);

// The screen's size and the height of a window caption (system metrics).
int32_t ScreenWidth();
int32_t ScreenHeight();
int32_t CaptionHeight();
int32_t HorizontalScrollBarHeight();
int32_t VerticalScrollBarWidth();
// The width of one line of text in the font, measured on the screen.
int32_t TextWidth(const std::string& text, const TFont& font);

// Reads the user's thousands and decimal separators into FormatSettings (the
// application does so when it is initialised).
void ReadUserFormatSettings();

// Registers the toolkit's own classes for stored layouts.
void RegisterToolkitClasses();
