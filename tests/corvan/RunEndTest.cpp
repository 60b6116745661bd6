// Who owns the drive during a run and at its end: the run's worker sends
// its last command before it reports the end, the window's controls come
// back only then, and while a run is on every handler that would send a
// drive command refuses.  Each command on its way to the drive is watched:
// which thread sends it, and what the window was doing at that moment.
#include "CorvanTestSupport.h"

#include <QEvent>

#include <atomic>

#include "vcl/Thread.h"

namespace {

using namespace corvantest;

// Passes every control request on to the installed machine, and tells the
// test about it first.
class WatchedDeviceControl : public platform::IDeviceControl {
public:
    WatchedDeviceControl(platform::IDeviceControl& inner, std::function<void()> watch)
        : inner_(inner), watch_(std::move(watch)) {}
    bool DeviceIoControl(platform::Handle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override {
        watch_();
        return inner_.DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
    }

private:
    platform::IDeviceControl& inner_;
    std::function<void()> watch_;
};

// Calls back whenever the watched widget is enabled or disabled.
class EnabledWatch : public QObject {
public:
    EnabledWatch(QWidget* widget, std::function<void(bool)> changed) : changed_(std::move(changed)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) changed_(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

private:
    std::function<void(bool)> changed_;
};

class RunEndTest : public CorvanTest {
protected:
    // Puts the watch between the drive layer and the simulated machine once
    // the program has installed it.
    void Watch(TFormTest& form) {
        inner_ = platform::Current().DeviceControl;
        watched_ = std::make_unique<WatchedDeviceControl>(*inner_, [this, &form] {
            if (!vcl::IsUiThread()) {
                if (controlsBack) ++workerCommandsAfterControlsBack;
            } else if (form.RunActive()) {
                ++uiCommandsDuringRun;
            }
        });
        platform::Services services;
        services.DeviceControl = watched_.get();
        platform::Install(services);
    }
    void TearDown() override {
        if (inner_ != nullptr) {
            platform::Services services;
            services.DeviceControl = inner_;
            platform::Install(services);
        }
        CorvanTest::TearDown();
    }

    std::atomic<bool> controlsBack{true};
    std::atomic<int> workerCommandsAfterControlsBack{0};
    int uiCommandsDuringRun = 0;

private:
    platform::IDeviceControl* inner_ = nullptr;
    std::unique_ptr<WatchedDeviceControl> watched_;
};

// The controls come back after the worker's last command: a DISC INFO click
// the moment they do reads the drive alone.
TEST_F(RunEndTest, AClickAsTheControlsComeBackIsTheDrivesOnlyUser) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom));
    int clicks = 0;
    Run([&](TFormTest& form) {
        Watch(form);
        EnabledWatch watch(form.DiscInfoBtn, [&](bool enabled) {
            controlsBack = enabled;
            if (enabled && form.Engine() != nullptr) {
                ++clicks;
                form.DiscInfoBtn->click();
            }
        });
        form.ReadProperties->click();
        form.StartBtnClick();
        EXPECT_FALSE(controlsBack);
        ASSERT_TRUE(RunLoop([&] { return !form.RunActive(); }));
        form.Engine()->WaitFor();
    });
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(workerCommandsAfterControlsBack, 0);
    EXPECT_EQ(uiCommandsDuringRun, 0);
    EXPECT_EQ(dialogs.MessageBoxes().back().Text, "PASS !!");
}

// While a run is on, the handlers that send drive commands are refused, and
// the controls that reach them are off.
TEST_F(RunEndTest, EveryDriveCommandOfTheWindowWaitsForTheRun) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRam));
    sim::DriveConfig other;
    other.Product = "OTHER DRIVE";
    AttachDrive('e', sim::MakeDisc(sim::DiscModel::CdRom), other);
    Run([&](TFormTest& form) {
        Watch(form);
        form.WriteProperties->click();
        form.FullWriteRadioBtn->click();
        form.StartBtnClick();
        for (QWidget* control : std::initializer_list<QWidget*>{form.DriveComboBox, form.DiscInfoBtn, form.CloseBtn,
                                                                form.LogFileNameEdit, form.StartBtn})
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        for (QAction* command : {form.PWPControl, form.ScreenTestItem1, form.CloseMenu})
            EXPECT_FALSE(command->isEnabled()) << command->objectName().toStdString();
        TestEngine* const engine = form.Engine();
        form.DiscInfoBtnClick();
        form.DriveComboBox->setCurrentIndex(1);
        form.DriveComboBoxChange();
        form.AutoRunTimer();
        form.PWPControlClick();
        form.ScreenTestItem1Click();
        form.StartBtnClick();
        EXPECT_EQ(form.Engine(), engine);  // no second run
        EXPECT_EQ(form.CurrentSlot, 0);
        EXPECT_EQ(form.DriveComboBox->currentIndex(), 0);  // the list shows the drive in use
        form.StopBtnClick();
        ASSERT_TRUE(RunLoop([&] { return !form.RunActive(); }));
    });
    EXPECT_EQ(uiCommandsDuringRun, 0);
    // Neither the write-protection question nor the screen-item dialog came.
    EXPECT_EQ(Shown(), (Lines{"TFormTest", "box MESSAGE: BREAK!!"}));
}

// A run's report ends with its end, after the run's last drive command.
TEST_F(RunEndTest, TheRunsEndIsItsLastReportAfterItsLastCommand) {
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(sim::DiscModel::CdRom));
    struct EndWatch : RecordingReport {
        sim::SimDrive* drive = nullptr;
        uint32_t commandsAtEnd = 0;
        void RunEnded(const std::string& verdict) override {
            commandsAtEnd = drive->CommandCount();
            RecordingReport::RunEnded(verdict);
        }
    } report;
    report.drive = &drive;
    uint32_t commandsAfterTheRun = 0;
    std::vector<sim::LoggedCommand> log;
    Run([&](TFormTest& form) {
        TestOptions options;
        TestEngine engine(RunSetup{form.CurrentSlot, "", form.Disc}, options, report);
        engine.Start();
        engine.WaitFor();
        // Before the window's own disc watch reads the drive again.
        commandsAfterTheRun = drive.CommandCount();
        log = drive.LogSnapshot();
    });
    const Lines calls = report.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "ended PASS !!");
    EXPECT_EQ(report.commandsAtEnd, commandsAfterTheRun);
    // The last command opened the tray.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Cdb[0], 0x1B);
    EXPECT_TRUE(drive.TrayOpen());
}

}  // namespace
