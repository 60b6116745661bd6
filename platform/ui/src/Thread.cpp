#include "vcl/Thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>

#include "UiCall.h"
#include "platform/Services.h"
#include "vcl/Forms.h"

namespace vcl {

namespace {
std::atomic<int> g_runningWorkers{0};

platform::IClock* InstalledClock() {
    return platform::IsInstalled() ? platform::Current().Clock : nullptr;
}

// The calls waiting for the UI thread: synchronised ones (a thread waits
// for Done) and queued ones (nobody waits).
struct SyncCall {
    std::function<void()> Fn;
    bool Waited = false;
    bool Done = false;
    std::exception_ptr Error;
};

std::mutex g_syncMutex;
std::condition_variable g_syncDone;
std::deque<std::shared_ptr<SyncCall>> g_syncList;

// Puts a call on the list and has the event loop run the list.  Without an
// application there is no UI thread: false, and the caller runs fn itself.
bool AddToSyncList(const std::shared_ptr<SyncCall>& call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    {
        std::lock_guard<std::mutex> lock(g_syncMutex);
        g_syncList.push_back(call);
    }
    QMetaObject::invokeMethod(app, [] { TThread::CheckSynchronize(); }, Qt::QueuedConnection);
    return true;
}

// A call nobody waits for: on the list in order, or at once without an
// application.
void QueueCall(std::function<void()> fn) {
    auto call = std::make_shared<SyncCall>();
    call->Fn = std::move(fn);
    if (!AddToSyncList(call)) Guard(call->Fn);
}
}  // namespace

uint32_t PlatformTickCount() {
    if (platform::IClock* clock = InstalledClock()) return clock->TickCount();
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

void PlatformSleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (platform::IClock* clock = InstalledClock())
        clock->Sleep(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TEvent::TEvent(bool manualReset, bool initialState) : manual_(manualReset), state_(initialState) {}

void TEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = true;
    }
    signalled_.notify_all();
}

void TEvent::ResetEvent() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = false;
}

bool TEvent::Take() {
    if (!state_) return false;
    if (!manual_) state_ = false;
    return true;
}

TWaitResult TEvent::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (Take()) return wrSignaled;
    if (milliseconds == INFINITE) {
        signalled_.wait(lock, [this] { return state_; });
        Take();
        return wrSignaled;
    }
    platform::IClock* clock = InstalledClock();
    if (clock != nullptr && clock->IsVirtual()) {
        lock.unlock();
        clock->Sleep(milliseconds);
        lock.lock();
        return Take() ? wrSignaled : wrTimeout;
    }
    // A real clock counts real time.
    const bool signalled =
        signalled_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return state_; });
    if (!signalled) return wrTimeout;
    Take();
    return wrSignaled;
}

bool ProcessMessages() {
    if (IsUiThread()) QCoreApplication::processEvents();
    return Application.Terminated();
}

bool HandleMessage() {
    if (IsUiThread()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return Application.Terminated();
}

bool HasUiThread() { return QCoreApplication::instance() != nullptr; }

int RunningWorkers() { return g_runningWorkers.load(); }

WorkerScope::WorkerScope() { ++g_runningWorkers; }

WorkerScope::~WorkerScope() { --g_runningWorkers; }

// What the end of the thread, posted to the UI thread, finds: the object, or
// nullptr once it was freed.  Resume holds Starting while it stores the
// thread's handle; the end waits for it, since without a UI thread the end
// (and a FreeOnTerminate thread's delete) runs on the thread itself.
struct TThread::Link {
    TThread* Self = nullptr;
    std::mutex Starting;
};

namespace {
std::atomic<int> g_running{0};
}  // namespace

int TThread::RunningCount() { return g_running.load(); }

TThread::TThread() : link_(std::make_shared<Link>()) { link_->Self = this; }

TThread::~TThread() {
    if (executing_ && !OnOwnThread()) {
        std::fputs("a running thread was deleted while its Execute still ran; wait for it "
                   "(WaitFor) or let it free itself (FreeOnTerminate)\n",
                   stderr);
        std::abort();
    }
    link_->Self = nullptr;
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void TThread::Resume() {
    {
        std::lock_guard<std::mutex> lock(pauseMutex_);
        suspended_ = false;
    }
    pauseChanged_.notify_all();
    if (started_.exchange(true)) return;
    std::shared_ptr<Link> link = link_;
    ++g_running;
    executing_ = true;
    std::lock_guard<std::mutex> starting(link->Starting);
    thread_ = std::thread([this, link] {
        try {
            WorkerScope running;
            Execute();
        } catch (const std::exception& error) {
            fatal_ = error.what();
        } catch (...) {
            fatal_ = "unknown exception";
        }
        // The last touch of the object: past here only the link is used.
        executing_ = false;
        { std::lock_guard<std::mutex> started(link->Starting); }
        QueueCall([link] {
            if (link->Self != nullptr) link->Self->Finish();
            --g_running;
        });
    });
}

void TThread::Suspend() {
    std::lock_guard<std::mutex> lock(pauseMutex_);
    if (started_) suspended_ = true;
}

void TThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(pauseMutex_);
        terminated_ = true;
    }
    pauseChanged_.notify_all();
}

void TThread::CheckSuspended() {
    std::unique_lock<std::mutex> lock(pauseMutex_);
    pauseChanged_.wait(lock, [this] { return !suspended_ || terminated_; });
}

bool TThread::OnOwnThread() const { return thread_.get_id() == std::this_thread::get_id(); }

void TThread::WaitFor() {
    if (thread_.joinable() && !OnOwnThread()) thread_.join();
}

std::string TThread::FatalException() const { return finished_ ? fatal_ : std::string(); }

void TThread::Finish() {
    // Without a UI thread the end runs on the thread itself: the handle stays
    // joinable, so that WaitFor (or the destructor) waits for this end too.
    if (thread_.joinable() && !OnOwnThread()) thread_.join();
    finished_ = true;
    const auto handler = OnTerminate;
    if (handler) Guard([&] { handler(this); });
    if (FreeOnTerminate) delete this;
}

void TThread::Queue(std::function<void()> fn) {
    if (IsUiThread()) {
        Guard(fn);
        return;
    }
    QueueCall(std::move(fn));
}

void TThread::Synchronize(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    call->Fn = fn;
    call->Waited = true;
    if (!AddToSyncList(call)) {
        fn();
        return;
    }
    std::unique_lock<std::mutex> lock(g_syncMutex);
    g_syncDone.wait(lock, [&] { return call->Done; });
    if (call->Error) std::rethrow_exception(call->Error);
}

bool TThread::CheckSynchronize() {
    if (!IsUiThread()) return false;
    bool ran = false;
    for (;;) {
        std::shared_ptr<SyncCall> call;
        {
            std::lock_guard<std::mutex> lock(g_syncMutex);
            if (g_syncList.empty()) break;
            call = g_syncList.front();
            g_syncList.pop_front();
        }
        ran = true;
        if (call->Waited) {
            try {
                call->Fn();
            } catch (...) {
                call->Error = std::current_exception();
            }
        } else {
            Guard(call->Fn);
        }
        {
            std::lock_guard<std::mutex> lock(g_syncMutex);
            call->Done = true;
        }
        g_syncDone.notify_all();
    }
    return ran;
}

}  // namespace vcl
