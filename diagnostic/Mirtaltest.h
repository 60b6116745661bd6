// The test window: the drive list, the drive's identity, the loaded disc's
// type, status, identifier and capacity, DVD-RAM write protection, the log
// viewer, the screen items and the test options.  Its creation does the
// program's start-up work (drives, test directory, first disc).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "diagnostic/QueuedTestReport.h"
#include "diagnostic/ScreenItems.h"
#include "diagnostic/TestEngine.h"
#include "diagnostic/TestReport.h"
#include "diagnostic/TestRun.h"
#include "drive/DiscInfo.h"
#include "drive/Mmc.h"
#include "ui_TFormTest.h"
#include "vcl/Forms.h"
#include "vcl/Timer.h"

// The test directory below the working directory.
inline constexpr const char* kTestDirectoryName = "Corvan CE";
inline constexpr const char* kDefaultLogName = "Corvan_CE";
inline constexpr const char* kMessageCaption = "MESSAGE";

// Disc watch and disc waits.
inline constexpr uint32_t kDiscWatchMs = 1000;
inline constexpr uint32_t kDiscWaitPollMs = 500;
// The longest the window waits for a drive that says it is becoming ready
// before it reads the disc's information (one that stays so would keep it
// waiting for good).
inline constexpr uint32_t kDiscWaitBoundMs = 60000;
// The display timer that shows a running step's address and progress.
inline constexpr uint32_t kDisplayTimerMs = 200;
// The write-protection command gives the drive this long after reading the
// disc's protection before it asks the user.
inline constexpr uint32_t kProtectionQuestionDelayMs = 1000;

// A "# of Loop" text counts when it is not below "1" compared byte by byte.
bool IsValidLoopText(const std::string& text);

// The window answers a run's report on the UI thread (diagnostic/
// TestReport.h); the run's engine reaches it through a QueuedTestReport.
class TFormTest : public vcl::TForm, public Ui::TFormTest, public ITestReport {
public:
    explicit TFormTest(vcl::TForm* owner);
    ~TFormTest() override;
    std::string ClassName() const override { return "TFormTest"; }

    // ---- state -----------------------------------------------------------
    TestDriveTable DriveTable;
    uint8_t CurrentSlot = 0;
    std::string FullIdentity;  // INQUIRY bytes 8-35
    std::string VendorId;      // 8
    std::string ProductId;     // 16
    std::string FirmwareVersion;  // 4
    drive::DiscRecord Disc{};
    std::string TestDirectory;
    std::string SettingsPath;
    std::string TestLogPath;  // set by START
    uint8_t DiscWasAbsent = 0;
    // The options as the controls show them; a run's engine reads them.
    TestOptions Options;
    // The engine of the run in progress or of the last run (none before the
    // first START).
    TestEngine* Engine() const { return engine_.get(); }
    // True from START until the run has reported its end: the window's drive
    // commands wait for it.
    bool RunActive() const { return runActive_; }
    // Runs the UI loop (the run's report calls among them) until the run has
    // ended.
    void WaitForRunEnd();
    std::unique_ptr<vcl::TTimer> AutoRun;
    std::unique_ptr<vcl::TTimer> DisplayTimer;

    // ---- creation, drive and disc ---------------------------------------
    void CreateTestDirectory();
    void ShowDriveIdentity();
    void SelectDrive(int index);
    void ClearStatusLabels();
    void EnableControls(bool enabled);
    bool WaitDiscReady();
    void ShowDiscInfo();
    void IsStartBtnEnable();

    void DriveComboBoxChange();
    void DiscInfoBtnClick();
    void AutoRunTimer();
    void CloseBtnClick();
    void OpenLogFileMenuClick();
    void About1Click();
    void PWPControlClick();

    // ---- screen items and the settings file ------------------------------
    void SetDefaultScreenItems(int index);
    bool SaveScreenItems();
    bool LoadScreenItems();
    void ScreenTestItem1Click();
    void TestSpec1Click();
    // Shows or hides the test panel: the two test groups and START/STOP.
    void TestPanel1Click();

    // ---- options and range -----------------------------------------------
    void ReadPropertiesClick();
    void WritePropertiesClick();
    void OneFunctionClick();
    void RandomReadCheckBoxClick();
    void SequentialReadCheckBoxClick();
    void RandomReadEditChange();
    void SequentialReadEditChange();
    void StartBtnClick();
    void StopBtnClick();
    void ShowRunResult(const std::string& verdict);
    void DisplayTimerTimer();
    // Published by the window, invoked by nothing.
    void TotalTimeTimerTimer() {}
    void DVDPRWCheckBoxClick() {}

    // ---- what a run reports (UI thread) -----------------------------------
    void StepBegan() override;
    void StepEnded() override;
    void ShowStatus(const std::string& text, uint32_t colour) override;
    void ClearStatus() override;
    void ShowRange(uint32_t start, uint32_t end) override;
    void ShowProgressMaximum(uint32_t maximum) override;
    void ShowProgress(uint32_t position) override;
    void ShowDisc(const drive::DiscRecord& disc) override;
    int AskForDisc(const std::string& prompt) override;
    // Gives the drive, the controls and the disc watch back.
    void RunEnded(const std::string& verdict) override;

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormCloseQuery(bool& canClose) override;

private:
    enum class DiscGroup { None, ReadOnly, WriteOnce, Rewritable, Other };
    DiscGroup GroupOfDisc(bool protectedRamIsOther) const;
    bool NoMedium() const { return (Disc.ErrorCode >> 8) == drive::kSenseNoMedium; }
    void RefreshChain();
    void RefreshDisc();
    void ReadOptionsOff();
    void WriteOptionsOff();
    void ReadChoicesOff();
    void WriteChoicesOff();
    void ReadCheckBoxClick(bool random);
    void EditChange();
    void ReadSettingsAtStart();
    int Box(const std::string& text, uint32_t flags);
    void KeepOptionsCurrent();
    // True (and nothing done) while a run or another handler of the window
    // owns the drive, and once the window has closed.
    bool RefusedWhileBusy() const { return runActive_ || busy_ || Closing(); }
    // The window has been closed, or the program asked to end: its waits
    // end and it sends nothing more.
    bool Closing() const;
    // Pauses with the event loop running; false when the pause was cut short
    // (the window closed meanwhile: the caller then sends nothing more).
    bool PauseWithEvents(uint32_t milliseconds);
    void SetProgressBar(uint32_t position, uint32_t maximum);
    void FinishLastRun();
    void StopRunAndWait();

    bool runActive_ = false;
    // A handler of the window uses the drive and may wait or pause with the
    // event loop running (a disc becoming ready, the write-protection
    // command): the other handlers that send drive commands refuse meanwhile.
    bool busy_ = false;
    bool closing_ = false;
    vcl::TPause pause_;
    uint32_t progressMax_ = 0;
    // The report goes after the engine that uses it.
    QueuedTestReport report_{*this, this};
    std::unique_ptr<TestEngine> engine_;
};

extern TFormTest* FormTest;
