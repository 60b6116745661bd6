#include "vcl/Thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "UiCall.h"
#include "vcl/Forms.h"

namespace vcl {

namespace {
std::atomic<int> g_runningWorkers{0};
}  // namespace

int RunningWorkers() { return g_runningWorkers.load(); }

WorkerScope::WorkerScope() { ++g_runningWorkers; }

WorkerScope::~WorkerScope() { --g_runningWorkers; }

// What the end of the thread, posted to the UI thread, finds: the object, or
// nullptr once it was freed.
struct TThread::Link {
    TThread* Self = nullptr;
};

namespace {
std::atomic<int> g_running{0};
}  // namespace

int TThread::RunningCount() { return g_running.load(); }

TThread::TThread() : link_(std::make_shared<Link>(Link{this})) {}

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
    if (started_.exchange(true)) return;
    std::shared_ptr<Link> link = link_;
    ++g_running;
    executing_ = true;
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
        detail::Post([link] {
            if (link->Self != nullptr) link->Self->Finish();
            --g_running;
        });
    });
}

bool TThread::OnOwnThread() const { return thread_.get_id() == std::this_thread::get_id(); }

void TThread::WaitFor() {
    if (thread_.joinable() && !OnOwnThread()) thread_.join();
}

std::string TThread::FatalException() const { return finished_ ? fatal_ : std::string(); }

void TThread::Finish() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();  // no UI thread: the end ran on the thread itself
        else
            thread_.join();
    }
    finished_ = true;
    const auto handler = OnTerminate;
    if (handler) Guard([&] { handler(this); });
    if (FreeOnTerminate) delete this;
}

void TThread::Queue(std::function<void()> fn) {
    if (IsUiThread())
        Guard(fn);
    else
        detail::Post(std::move(fn));
}

void TThread::Synchronize(const std::function<void()>& fn) { detail::Call(fn); }

}  // namespace vcl
