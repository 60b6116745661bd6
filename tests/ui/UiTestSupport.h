// Shared pieces of the ui tests: one QApplication for the whole program, a
// virtual clock, the recording seam installed per test, and a bounded wait
// on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <functional>

#include "platform/Services.h"
#include "vcl/Dialogs.h"
#include "support/RunUntil.h"
#include "vcl/Forms.h"

namespace uitest {

// Time moves only when slept on or advanced.
class TestClock : public platform::IClock {
public:
    void Sleep(uint32_t milliseconds) override { tick_ += milliseconds; }
    uint32_t TickCount() override { return tick_; }
    platform::LocalTime Now() override { return {}; }
    bool IsVirtual() const override { return virtual_; }
    void Advance(uint32_t milliseconds) override { tick_ += milliseconds; }
    void SetVirtual(bool on) { virtual_ = on; }

private:
    std::atomic<uint32_t> tick_{5000};
    bool virtual_ = true;
};

// A test with the virtual clock installed, the recording seam installed and
// the application object reset afterwards.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Services services;
        services.Clock = &clock;
        platform::Install(services);
        vcl::InstallDialogs(&dialogs);
        vcl::Application.Title = "Test";
    }
    void TearDown() override {
        vcl::Application.Reset();
        vcl::InstallDialogs(nullptr);
        platform::Uninstall();
        // Whatever a test left posted runs now, while its objects still live.
        QCoreApplication::processEvents();
    }

    // Runs the event loop until done() holds; false when it did not come
    // within a generous real-time bound (a failure, never the normal path).
    static bool RunUntil(const std::function<bool()>& done, int boundMs = 10000) {
        return testsupport::RunEventLoopUntil(done, boundMs);
    }

    TestClock clock;
    vcl::RecordingDialogs dialogs;
};

}  // namespace uitest
