// The thin adapter between a run's worker and its window: every report call
// made on the worker is carried to the UI thread, where the window answers
// it.  Calls made on the UI thread itself run at once.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "diagnostic/TestReport.h"

// Runs call on the UI thread later, in the order posted, and returns at once.
void PostToUiThread(std::function<void()> call);
// Runs call on the UI thread and returns when it has run.  The UI thread
// keeps its event loop running while it waits for a worker, so the wait ends
// even while the window closes.
void RunOnUiThreadAndWait(const std::function<void()>& call);

class QueuedTestReport : public ITestReport {
public:
    // window answers the calls; alive is the object whose end makes every
    // later call a no-op (the window itself).
    QueuedTestReport(ITestReport& window, QObject* alive);

    void StepBegan() override;
    void StepEnded() override;
    void ShowStatus(const std::string& text, uint32_t colour) override;
    void ClearStatus() override;
    void ShowRange(uint32_t start, uint32_t end) override;
    void ShowProgressMaximum(uint32_t maximum) override;
    void ShowProgress(uint32_t position) override;
    void ShowDisc(const drive::DiscRecord& disc) override;
    // Cancelled when the window is gone.
    int AskForDisc(const std::string& prompt) override;
    void RunEnded(const std::string& verdict) override;

private:
    void Post(std::function<void(ITestReport&)> call) const;

    ITestReport& window_;
    const QPointer<QObject> alive_;
};
