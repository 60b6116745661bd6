#include "vcl/Forms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "UiCall.h"
#include "vcl/Dialogs.h"
#include "vcl/Graphics.h"
#include "vcl/Thread.h"

namespace vcl {

// The screen outlives the application object, whose end still sets the cursor.
TScreen Screen;
TApplication Application;

namespace {

// Live forms, so that an owner handed over as a plain pointer can be checked
// before it is used as a window.
std::mutex g_formsMutex;
std::vector<const TForm*> g_forms;

bool IsMouseClick(QEvent::Type type) {
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
           type == QEvent::MouseButtonDblClick || type == QEvent::Wheel;
}

class MouseHook : public QObject {
public:
    MouseHook(QWidget* widget, QEvent::Type type, std::function<void(int, int)> handler)
        : QObject(widget), type_(type), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == type_ && watched == parent()) {
            const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
            const auto handler = handler_;
            Guard([&] { handler(p.x(), p.y()); });
        }
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void(int, int)> handler_;
};

}  // namespace

int VirtualKeyFromQt(int key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + (key - Qt::Key_F1);
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return VK_RETURN;
    if (key == Qt::Key_Escape) return VK_ESCAPE;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return key;
    return 0;
}

bool IsUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void Guard(const std::function<void()>& fn) {
    // Nothing may leave through the Qt event loop: the exception display
    // itself is guarded too.
    auto show = [](const std::string& message) {
        try {
            Application.ShowException(message);
        } catch (...) {
            std::fprintf(stderr, "exception while showing an exception: %s\n", message.c_str());
        }
    };
    try {
        fn();
    } catch (const std::exception& error) {
        show(error.what());
    } catch (...) {
        show(std::string());
    }
}

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(TForm* owner) : QWidget(nullptr), owner_(owner) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    {
        std::lock_guard lock(g_formsMutex);
        g_forms.push_back(this);
    }
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

TForm::~TForm() {
    if (modalLoop_ != nullptr) modalLoop_->quit();
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    std::lock_guard lock(g_formsMutex);
    g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), this), g_forms.end());
}

TForm* FindForm(const void* object) {
    if (object == nullptr) return nullptr;
    std::lock_guard lock(g_formsMutex);
    for (const TForm* form : g_forms)
        if (static_cast<const void*>(form) == object) return const_cast<TForm*>(form);
    return nullptr;
}

void TForm::RunCreate() {
    if (created_) return;
    created_ = true;
    Guard([this] { FormCreate(); });
}

void TForm::ApplyPosition() {
    if (positioned_) return;
    positioned_ = true;
    QRect area;
    const TForm* base = owner_ != nullptr ? owner_ : Application.MainForm();
    if (position_ == TPosition::OwnerCenter && base != nullptr && base != this) {
        area = base->geometry();
    } else if (position_ != TPosition::Designed) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    }
    if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void TForm::Show() {
    ApplyPosition();
    show();
    raise();
    activateWindow();
}

int TForm::ShowModal() { return CurrentDialogs().ShowModal(*this); }

void TForm::Close() {
    if (modal_) {
        SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery()) return;
    hide();
    if (Application.MainForm() == this) Application.Terminate();
}

void TForm::Release() { deleteLater(); }

bool TForm::CloseQuery() {
    bool canClose = true;
    Guard([&] { FormCloseQuery(canClose); });
    return canClose;
}

void TForm::SetModalResult(int result) {
    if (modal_ && result != mrNone && !CloseQuery()) result = mrNone;
    modalResult_ = result;
    if (modal_ && result != mrNone && modalLoop_ != nullptr) modalLoop_->quit();
}

void TForm::Update() {
    if (isVisible()) repaint();
}

void TForm::EnterModal(QEventLoop* loop) {
    modal_ = true;
    modalResult_ = mrNone;
    modalLoop_ = loop;
}

void TForm::LeaveModal() {
    modal_ = false;
    modalLoop_ = nullptr;
}

void TForm::NotifyShown() {
    ApplyPosition();
    Guard([this] { FormShow(); });
}

void TForm::NotifyActivated() { Guard([this] { FormActivate(); }); }

void TForm::SetBorderless(bool on) { setWindowFlag(Qt::FramelessWindowHint, on); }

void TForm::SetStayOnTop(bool on) { setWindowFlag(Qt::WindowStaysOnTopHint, on); }

void TForm::SetClientSize(int width, int height) { resize(width, height); }

void TForm::SetRoundRectRegion(int width, int height, int ellipseWidth, int ellipseHeight) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width, height), ellipseWidth / 2.0, ellipseHeight / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void TForm::BeginSystemMove() {
    ReleaseCapture();
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    if (QWindow* window = windowHandle()) window->startSystemMove();
}

void TForm::SetCapture() { captured_ = true; }

void TForm::ReleaseCapture() { captured_ = false; }

void TForm::SetFocus() {
    activateWindow();
    setFocus();
}

bool TForm::Contains(QObject* object) const {
    if (object == nullptr || !object->isWidgetType()) return false;
    return static_cast<QWidget*>(object)->window() == this;
}

void TForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) Guard([this] { FormShow(); });
}

bool TForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) NotifyActivated();
    return QWidget::event(event);
}

void TForm::closeEvent(QCloseEvent* event) {
    // A close asked for by the window system (or QWidget::close) ends like
    // Close(): a modal form ends its loop, the main form ends the program.
    if (modal_) {
        SetModalResult(mrCancel);
        event->ignore();
        return;
    }
    if (!CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    if (Application.MainForm() == this) Application.Terminate();
}

bool TForm::eventFilter(QObject* watched, QEvent* event) {
    if (captured_ && IsMouseClick(event->type()) && Contains(watched)) return true;
    if (keyPreview_ && !resendingKey_ && event->type() == QEvent::KeyPress && Contains(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int virtualKey = VirtualKeyFromQt(key->key());
        if (virtualKey != 0) {
            Guard([&] { FormKeyDown(virtualKey); });
            // The control gets the key once afterwards; delivering a copy keeps
            // the preview from running again while Qt hands the original on
            // to the parents of a control that ignores it.
            std::unique_ptr<QEvent> copy(key->clone());
            resendingKey_ = true;
            QCoreApplication::sendEvent(watched, copy.get());
            resendingKey_ = false;
            event->accept();  // delivered: the original goes no further
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::~TApplication() {
    if (QCoreApplication::instance() != nullptr) Finalize();
}

namespace {

// The offscreen platform (headless runs and tests) says so for every raise,
// mask and size hint it cannot carry out; only its other messages are worth
// reading.
QtMessageHandler g_previousMessageHandler = nullptr;

void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (g_previousMessageHandler != nullptr) g_previousMessageHandler(type, context, message);
}

}  // namespace

void TApplication::Initialize(int& argc, char** argv) {
    if (QCoreApplication::instance() == nullptr) ownApp_ = new QApplication(argc, argv);
    static const bool quiet = [] {
        g_previousMessageHandler = qInstallMessageHandler(QuietOffscreen);
        return true;
    }();
    (void)quiet;
    // Hiding windows must never end the program; only the main form does.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // The windows name the fonts of the system they were made for; where one
    // is missing, a font with Korean glyphs stands in, and the forms' default
    // is the class library's Tahoma of 8 points.
    for (const char* name : {"Tahoma", "굴림", "Gulim", "MS Sans Serif"}) {
        const QString family = QString::fromUtf8(name);
        if (!QFontDatabase::hasFamily(family)) QFont::insertSubstitution(family, QString::fromLatin1(kFallbackFont));
    }
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
}

void TApplication::Adopt(TForm* form) {
    forms_.emplace_back(form);
    if (mainForm_.isNull()) mainForm_ = form;
}

int TApplication::Run() {
    if (!terminated_ && !mainForm_.isNull()) {
        mainForm_->Show();
        QEventLoop loop;
        PushLoop(&loop);
        // A Terminate from a handler of the first show may already have come.
        if (!terminated_) loop.exec();
        PopLoop(&loop);
    }
    WaitForThreads();
    return 0;
}

void TApplication::WaitForThreads() {
    if (!IsUiThread()) return;
    constexpr int kPollMs = 10;
    while (TThread::RunningCount() > 0) {
        QEventLoop loop;
        QTimer::singleShot(kPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void TApplication::Terminate() {
    terminated_ = true;
    if (IsUiThread()) {
        QuitLoops();
    } else if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [this] { QuitLoops(); }, Qt::QueuedConnection);
    }
}

void TApplication::QuitLoops() {
    for (QEventLoop* loop : loops_) loop->quit();
}

void TApplication::PushLoop(QEventLoop* loop) { loops_.push_back(loop); }

void TApplication::PopLoop(QEventLoop* loop) {
    loops_.erase(std::remove(loops_.begin(), loops_.end(), loop), loops_.end());
}

void TApplication::ShowException(const std::exception& error) { ShowException(std::string(error.what())); }

void TApplication::ShowException(const std::string& message) {
    CurrentDialogs().MessageBox(nullptr, message, Title, platform::MB_OK | platform::MB_ICONERROR);
}

void TApplication::Reset() {
    WaitForThreads();
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) delete it->data();
    forms_.clear();
    mainForm_ = nullptr;
    terminated_ = false;
    Title.clear();
    loops_.clear();
    Screen.SetCursor(crDefault);
}

void TApplication::Finalize() {
    Reset();
    delete ownApp_;
    ownApp_ = nullptr;
}

int RunGuarded(const std::function<void()>& entry) {
    Guard(entry);
    return 0;
}

// ---------------------------------------------------------------------------
// TScreen

void TScreen::SetCursor(int cursor) {
    cursor_ = cursor;
    if (IsUiThread())
        Apply();
    else
        detail::Post([this] { Apply(); });
}

void TScreen::Apply() {
    if (QGuiApplication::instance() == nullptr) return;
    const bool wait = cursor_ == crHourGlass;
    if (wait && !overridden_) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        overridden_ = true;
    } else if (!wait && overridden_) {
        QGuiApplication::restoreOverrideCursor();
        overridden_ = false;
    }
}

// ---------------------------------------------------------------------------
// Hooks

void OnMouseDown(QWidget* widget, std::function<void(int x, int y)> handler) {
    widget->installEventFilter(new MouseHook(widget, QEvent::MouseButtonPress, std::move(handler)));
}

void OnMouseMove(QWidget* widget, std::function<void(int x, int y)> handler) {
    widget->setMouseTracking(true);
    widget->installEventFilter(new MouseHook(widget, QEvent::MouseMove, std::move(handler)));
}

void OnClick(QAbstractButton* button, std::function<void()> handler) {
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [handler = std::move(handler)] { Guard(handler); });
}

}  // namespace vcl
