#include "vcl/Timer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "platform/Services.h"
#include "vcl/Forms.h"
#include "vcl/Thread.h"

namespace vcl {

namespace {

platform::IClock* VirtualClock() {
    if (!platform::IsInstalled()) return nullptr;
    platform::IClock* clock = platform::Current().Clock;
    return clock != nullptr && clock->IsVirtual() ? clock : nullptr;
}

}  // namespace

// The timers that run in a virtual clock's time.  One zero-interval QTimer
// pumps them: each time the event loop is free it moves the clock on to the
// earliest due timer and fires it.  UI thread only.
class VirtualTimers {
public:
    // Real time between two looks while a worker holds the clock.
    static constexpr int kWorkerPollMs = 5;

    static void Add(TTimer* timer) {
        List().push_back(timer);
        QPointer<QTimer>& pump = Pump();
        if (pump.isNull()) {
            pump = new QTimer(QCoreApplication::instance());
            pump->setInterval(0);
            QObject::connect(pump.data(), &QTimer::timeout, pump.data(), &VirtualTimers::FireNext);
        }
        pump->start();
    }

    static void Remove(TTimer* timer) {
        std::vector<TTimer*>& list = List();
        list.erase(std::remove(list.begin(), list.end(), timer), list.end());
        if (list.empty() && !Pump().isNull()) Pump()->stop();
    }

private:
    static std::vector<TTimer*>& List() {
        static std::vector<TTimer*> list;
        return list;
    }
    static QPointer<QTimer>& Pump() {
        static QPointer<QTimer> pump;
        return pump;
    }

    static void FireNext() {
        std::vector<TTimer*>& list = List();
        platform::IClock* clock = VirtualClock();
        if (list.empty() || clock == nullptr) {
            Pump()->stop();
            return;
        }
        const uint32_t now = clock->TickCount();
        auto wait = [now](const TTimer* t) { return static_cast<int32_t>(t->due_ - now); };
        TTimer* next = *std::min_element(list.begin(), list.end(), [&](const TTimer* a, const TTimer* b) {
            return wait(a) < wait(b);
        });
        if (wait(next) > 0) {
            if (RunningWorkers() > 0) {
                Pump()->setInterval(kWorkerPollMs);
                return;
            }
            clock->Advance(static_cast<uint32_t>(wait(next)));
        }
        Pump()->setInterval(0);
        next->due_ = clock->TickCount() + next->interval_;
        next->Fire();  // may free the timer: nothing touches it afterwards
    }
};

TTimer::TTimer() : timer_(std::make_unique<QTimer>()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && !IsUiThread()) timer_->moveToThread(app->thread());
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Fire(); });
}

TTimer::~TTimer() { VirtualTimers::Remove(this); }

void TTimer::SetInterval(uint32_t milliseconds) {
    if (interval_.exchange(milliseconds) != milliseconds) Schedule();
}

void TTimer::SetEnabled(bool on) {
    if (enabled_.exchange(on) != on) Schedule();
}

void TTimer::Schedule() {
    if (IsUiThread())
        Apply();
    else
        QMetaObject::invokeMethod(timer_.get(), [this] { Apply(); }, Qt::QueuedConnection);
}

void TTimer::Apply() {
    timer_->stop();
    VirtualTimers::Remove(this);
    if (!enabled_ || interval_ == 0) return;
    if (platform::IClock* clock = VirtualClock()) {
        due_ = clock->TickCount() + interval_;
        VirtualTimers::Add(this);
    } else {
        timer_->start(static_cast<int>(interval_));
    }
}

void TTimer::Fire() {
    if (!enabled_) return;
    const auto handler = OnTimer;  // the handler may free this timer
    if (handler) Guard(handler);
}

// ---------------------------------------------------------------------------
// TPause

// Shared with a Run in progress, so that a pause freed while its loop runs
// (its owner gone in a handler) leaves that Run nothing freed to touch.
struct TPause::State {
    QEventLoop* loop = nullptr;
    bool ended = false;
};

TPause::TPause() : state_(std::make_shared<State>()) {}

TPause::~TPause() { End(); }

bool TPause::Run(uint32_t milliseconds) {
    if (!HasUiThread() || !IsUiThread()) {
        PlatformSleep(milliseconds);
        return true;
    }
    if (state_->loop != nullptr) return false;
    const std::shared_ptr<State> state = state_;
    state->ended = false;
    if (Application.Terminated()) return false;
    QEventLoop loop;
    bool elapsed = false;
    TTimer timer;
    timer.SetInterval(std::max<uint32_t>(milliseconds, 1));
    timer.OnTimer = [&] {
        elapsed = true;
        timer.SetEnabled(false);
        loop.quit();
    };
    state->loop = &loop;
    Application.PushLoop(&loop);
    timer.SetEnabled(true);
    loop.exec();
    Application.PopLoop(&loop);
    timer.SetEnabled(false);
    state->loop = nullptr;
    return elapsed && !state->ended && !Application.Terminated();
}

void TPause::End() {
    state_->ended = true;
    if (state_->loop != nullptr) state_->loop->quit();
}

bool TPause::Running() const { return state_->loop != nullptr; }

}  // namespace vcl
