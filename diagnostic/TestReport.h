// What a test run shows while it runs: the calls a run's engine makes to its
// window.  The engine makes them on its worker thread; the window answers
// them on the UI thread, and QueuedTestReport (diagnostic/QueuedTestReport.h)
// carries each call across.  AskForDisc is the one call that waits for an
// answer; every other call only asks the window to show something.
//
// The address and the progress a step is at are not reported call by call:
// they are in the run state (diagnostic/TestRun.h), which the window's
// display timer reads while a step runs.
#pragma once

#include <cstdint>
#include <string>

#include "drive/DiscInfo.h"

// Status text colours (class-library values, 0x00BBGGRR).
inline constexpr uint32_t clNavy = 0x800000;
inline constexpr uint32_t clBlue = 0xFF0000;
inline constexpr uint32_t clRed = 0x0000FF;

class ITestReport {
public:
    virtual ~ITestReport() = default;

    // A step or a disc preparation began or ended; while one runs, the
    // display follows the run state.
    virtual void StepBegan() = 0;
    virtual void StepEnded() = 0;
    virtual void ShowStatus(const std::string& text, uint32_t colour) = 0;
    // The disc, range, status and address labels emptied.
    virtual void ClearStatus() = 0;
    virtual void ShowRange(uint32_t start, uint32_t end) = 0;
    virtual void ShowProgressMaximum(uint32_t maximum) = 0;
    virtual void ShowProgress(uint32_t position) = 0;
    // The disc as the run has just read it.
    virtual void ShowDisc(const drive::DiscRecord& disc) = 0;
    // Asks for a disc; the answer is platform::IDOK or another button.
    virtual int AskForDisc(const std::string& prompt) = 0;
    // The run's last call, after its last drive command: its verdict
    // ("PASS !!", "FAIL !!" or "BREAK!!").
    virtual void RunEnded(const std::string& verdict) = 0;
};
