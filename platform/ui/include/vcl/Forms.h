// The application object and the form base class.
//
// Forms are built from their layouts (uic) in the constructor, then their
// FormCreate runs - through TApplication::CreateForm for forms that live as
// long as the program, through vcl::Create for windows made per use.  Closing
// the main form ends the program, also from inside its own FormCreate.
#pragma once

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAbstractButton;
class QApplication;
class QEventLoop;

namespace vcl {

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// Virtual key codes seen by FormKeyDown.
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_F1 = 0x70;
inline constexpr int VK_F8 = 0x77;
inline constexpr int VK_F9 = 0x78;
inline constexpr int VK_F12 = 0x7B;

// The virtual key of a Qt key (F1-F12, Return, Escape, digits, letters);
// 0 for any other key.
int VirtualKeyFromQt(int qtKey);

// True on the thread that runs the QApplication.
bool IsUiThread();

// Runs fn; an exception escaping it is shown by Application.ShowException and
// goes no further.  Every event handler the stand-in calls runs through this.
void Guard(const std::function<void()>& fn);

// Where a form places itself when it is first shown.
enum class TPosition { Designed, ScreenCenter, OwnerCenter };

class TForm : public QWidget {
public:
    explicit TForm(TForm* owner = nullptr);
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    // The form class's name ("TFormMsg"); what the recording seam reports.
    virtual std::string ClassName() const { return "TForm"; }

    // Runs FormCreate (guarded).  Called once by CreateForm / Create.
    void RunCreate();

    // Modeless show.
    void Show();
    // Modal show through the installed seam; returns the modal result.
    int ShowModal();
    // Asks FormCloseQuery first and does nothing when it refuses.  Then, on
    // a modal form: ends its modal loop with mrCancel.  On the main form:
    // hides it and ends the program.  Otherwise hides it.  The window's close
    // box, Alt+F4 and the window system take the same way.
    void Close();
    // Runs FormCloseQuery (guarded); true when the form may close.
    bool CloseQuery();
    // Frees the form once the event loop next runs.
    void Release();

    int ModalResult() const { return modalResult_; }
    // A non-zero result ends the modal loop of a modal form once
    // FormCloseQuery allows it; a refusal leaves the result at mrNone.
    void SetModalResult(int result);
    // Paints the form at once, without running the event loop.
    void Update();
    bool InModalState() const { return modal_; }

    // Window services.
    void SetBorderless(bool on);
    void SetStayOnTop(bool on);
    void SetPosition(TPosition position) { position_ = position; }
    void SetClientSize(int width, int height);
    // Cuts the window to a rounded rectangle (0, 0, width, height) with
    // corner ellipses of ellipseWidth by ellipseHeight.
    void SetRoundRectRegion(int width, int height, int ellipseWidth, int ellipseHeight);
    // Drag by picture: releases the capture, then hands the move to the
    // window system (does nothing where the window system cannot move).
    void BeginSystemMove();
    // While captured, mouse clicks on this form and its controls are ignored.
    void SetCapture();
    void ReleaseCapture();
    bool HasCapture() const { return captured_; }
    void SetFocus();
    // Key preview: the form's FormKeyDown sees key presses before its
    // controls (which still get them afterwards).
    void SetKeyPreview(bool on) { keyPreview_ = on; }

    // For the seam's implementations.
    void EnterModal(QEventLoop* loop);
    void LeaveModal();
    // Runs FormShow (guarded) and applies the position on the first show.
    void NotifyShown();
    // Runs FormActivate (guarded): the window system's activation does, and
    // the recording seam once each time it shows the form.
    void NotifyActivated();

protected:
    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormKeyDown(int key) { (void)key; }
    // Clear canClose to keep the form open.
    virtual void FormCloseQuery(bool& canClose) { (void)canClose; }
    virtual void FormActivate() {}

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Contains(QObject* object) const;
    void ApplyPosition();

    TForm* owner_ = nullptr;
    TPosition position_ = TPosition::Designed;
    bool positioned_ = false;
    bool modal_ = false;
    int modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    bool captured_ = false;
    bool keyPreview_ = false;
    bool resendingKey_ = false;
    bool created_ = false;
};

// True while `object` is a live form (an owner handed over as a plain
// pointer); UI thread.
TForm* FindForm(const void* object);

class TApplication {
public:
    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Creates the QApplication when none exists yet (argc and argv must
    // outlive it).
    void Initialize(int& argc, char** argv);

    std::string Title;

    // Constructs a form the application owns, stores it in `global` and runs
    // its FormCreate; the first form created becomes the main form.
    template <class T, class... Args>
    void CreateForm(T*& global, Args&&... args) {
        T* form = new T(nullptr, std::forward<Args>(args)...);
        global = form;
        Adopt(form);
        form->RunCreate();
    }

    // Shows the main form and runs the message loop until the program ends;
    // returns at once when it already ended (the main form closed itself
    // while it was created).  Either way it returns only once no worker
    // thread runs: their end handlers still reach the forms.
    int Run();
    // Runs the event loop until every started worker thread has ended and
    // its end handler has run (UI thread).
    void WaitForThreads();
    // Ends the message loop and every modal loop inside it (any thread).
    void Terminate();
    bool Terminated() const { return terminated_; }
    TForm* MainForm() const { return mainForm_; }

    // The exception display: a message box with the message, captioned with
    // the title.
    void ShowException(const std::exception& error);
    void ShowException(const std::string& message);

    // Tests: frees the owned forms and forgets title, main form and the end
    // request; the QApplication stays.
    void Reset();
    // Frees the owned forms and the QApplication made by Initialize.
    void Finalize();

    // Event loops that Terminate ends (UI thread).
    void PushLoop(QEventLoop* loop);
    void PopLoop(QEventLoop* loop);

private:
    void Adopt(TForm* form);
    void QuitLoops();

    std::vector<QPointer<TForm>> forms_;
    QPointer<TForm> mainForm_;
    std::atomic<bool> terminated_{false};
    std::vector<QEventLoop*> loops_;
    QApplication* ownApp_ = nullptr;
};

extern TApplication Application;

// Creates a per-use window (owner first, then the form's own arguments) and
// runs its FormCreate.
template <class T, class... Args>
std::unique_ptr<T> Create(TForm* owner, Args&&... args) {
    auto form = std::make_unique<T>(owner, std::forward<Args>(args)...);
    form->RunCreate();
    return form;
}

// Runs the program entry; an exception escaping it is shown by the
// application object and the program then ends normally (returns 0).
int RunGuarded(const std::function<void()>& entry);

// The screen cursor.
inline constexpr int crDefault = 0;
inline constexpr int crHourGlass = -11;

class TScreen {
public:
    // Any thread; applied on the UI thread.
    void SetCursor(int cursor);
    int Cursor() const { return cursor_; }

private:
    void Apply();
    std::atomic<int> cursor_{crDefault};
    bool overridden_ = false;
};

extern TScreen Screen;

// Event hooks on child widgets; the handlers run guarded.  Mouse moves are
// reported without a button pressed too.
void OnMouseDown(QWidget* widget, std::function<void(int x, int y)> handler);
void OnMouseMove(QWidget* widget, std::function<void(int x, int y)> handler);
void OnClick(QAbstractButton* button, std::function<void()> handler);

}  // namespace vcl
