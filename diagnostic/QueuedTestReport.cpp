#include "diagnostic/QueuedTestReport.h"

#include "platform/Services.h"
#include "vcl/Thread.h"

void PostToUiThread(std::function<void()> call) { vcl::TThread::Queue(std::move(call)); }

void RunOnUiThreadAndWait(const std::function<void()>& call) { vcl::TThread::Synchronize(call); }

QueuedTestReport::QueuedTestReport(ITestReport& window, QObject* alive) : window_(window), alive_(alive) {}

// The lambda holds copies: it may run after this adapter is gone.
void QueuedTestReport::Post(std::function<void(ITestReport&)> call) const {
    PostToUiThread([window = &window_, alive = alive_, call = std::move(call)] {
        if (!alive.isNull()) call(*window);
    });
}

void QueuedTestReport::StepBegan() {
    Post([](ITestReport& w) { w.StepBegan(); });
}

void QueuedTestReport::StepEnded() {
    Post([](ITestReport& w) { w.StepEnded(); });
}

void QueuedTestReport::ShowStatus(const std::string& text, uint32_t colour) {
    Post([text, colour](ITestReport& w) { w.ShowStatus(text, colour); });
}

void QueuedTestReport::ClearStatus() {
    Post([](ITestReport& w) { w.ClearStatus(); });
}

void QueuedTestReport::ShowRange(uint32_t start, uint32_t end) {
    Post([start, end](ITestReport& w) { w.ShowRange(start, end); });
}

void QueuedTestReport::ShowProgressMaximum(uint32_t maximum) {
    Post([maximum](ITestReport& w) { w.ShowProgressMaximum(maximum); });
}

void QueuedTestReport::ShowProgress(uint32_t position) {
    Post([position](ITestReport& w) { w.ShowProgress(position); });
}

void QueuedTestReport::ShowDisc(const drive::DiscRecord& disc) {
    Post([disc](ITestReport& w) { w.ShowDisc(disc); });
}

int QueuedTestReport::AskForDisc(const std::string& prompt) {
    int answer = platform::IDCANCEL;
    RunOnUiThreadAndWait([&] {
        if (!alive_.isNull()) answer = window_.AskForDisc(prompt);
    });
    return answer;
}

void QueuedTestReport::RunEnded(const std::string& verdict) {
    Post([verdict](ITestReport& w) { w.RunEnded(verdict); });
}
