// The test window: the drive list, the drive's identity, the loaded disc's
// type, status, identifier and capacity, DVD-RAM write protection, the log
// viewer, the screen items and the test options.  Its creation does the
// program's start-up work (drives, test directory, first disc).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <functional>
#include <string>

#include "diagnostic/ScreenItems.h"
#include "diagnostic/TestRun.h"
#include "drive/DiscInfo.h"
#include "ui_TFormTest.h"
#include "vcl/Forms.h"
#include "vcl/Thread.h"
#include "vcl/Timer.h"

// The test directory below the working directory.
inline constexpr const char* kTestDirectoryName = "Corvan CE";
inline constexpr const char* kDefaultLogName = "Corvan_CE";
inline constexpr const char* kMessageCaption = "MESSAGE";

// Disc watch and disc waits.
inline constexpr uint32_t kDiscWatchMs = 1000;
inline constexpr uint32_t kDiscWaitPollMs = 500;
// The longest the window waits for a disc's information (a drive that never
// answers and never reports no disc would keep it waiting for good).
inline constexpr uint32_t kDiscWaitBoundMs = 60000;

// Status text colours (class-library values, 0x00BBGGRR).
inline constexpr uint32_t clNavy = 0x800000;
inline constexpr uint32_t clBlue = 0xFF0000;
inline constexpr uint32_t clRed = 0x0000FF;

// The error code's upper 16 bits when the drive holds no disc.
inline constexpr uint32_t kNoMediumCode = 0x023A;

// What a test run covers: start and end block.
struct TestRange {
    uint32_t Start = 0;
    uint32_t End = 0;
};

// The range of a test: the whole disc, or about 3 % of it (a multiple of 16
// blocks) from the start (DVD+RW) or from the next writable address (other
// writable discs), never past the disc's capacity.  Kinds 0 and 3 (CD-ROM and
// DVD-ROM rounds) always cover the whole disc.
TestRange ComputeTestRange(uint8_t rangeKind, uint16_t discType, uint32_t capacity, uint32_t nextWritable,
                           bool full);

// A "# of Loop" text counts when it is not below "1" compared byte by byte.
bool IsValidLoopText(const std::string& text);

// Test engine timing.
inline constexpr uint32_t kDisplayTimerMs = 200;
inline constexpr uint32_t kTrayCloseDelayMs = 1000;
inline constexpr uint32_t kLeadInPollMs = 500;
inline constexpr uint32_t kLeadInLimitSeconds = 60;
inline constexpr uint32_t kPreparationProgressMax = 70;
// After the write step the disc is read again until its information comes
// back, for at most a minute, with a pause between reads.
inline constexpr uint32_t kDiscAfterWriteSeconds = 60;
inline constexpr uint32_t kDiscAfterWritePollMs = 500;
inline constexpr uint32_t kClosePollMs = 500;
inline constexpr uint32_t kFormatPollMs = 1000;
inline constexpr uint32_t kFormatSettleMs = 3000;
// The readiness waits after a close and after a format end at these bounds,
// far beyond what a drive takes, with the last sense as the failure.
inline constexpr uint32_t kCloseWaitBoundMs = 10 * 60 * 1000;
inline constexpr uint32_t kFormatWaitBoundMs = 90 * 60 * 1000;
inline constexpr uint32_t kBatchRandomReads = 200;
inline constexpr size_t kStepBufferSize = 65536;
inline constexpr uint32_t kChunkBlocks = 16;

// Range read results.
inline constexpr uint8_t kRangeReadOk = 0x01;
inline constexpr uint8_t kRangeReadFailed = 0x10;
inline constexpr uint8_t kRangeMismatch = 0x20;

class TFormTest;

// The worker of a test run; the test window keeps its handle.
class TTestThread : public vcl::TThread {
public:
    explicit TTestThread(TFormTest& form) : form_(form) {}

protected:
    void Execute() override;

private:
    TFormTest& form_;
};

class TFormTest : public vcl::TForm, public Ui::TFormTest {
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
    TestRunState Run;
    // Runs the UI loop (the worker's queued calls among them) until the run
    // has ended.
    void WaitForRunEnd();
    TestOptions Options;
    // The worker of the run in progress or of the last run.
    std::unique_ptr<TTestThread> Worker;
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
    void SetTestRange(bool full);
    void StartBtnClick();
    void StopBtnClick();
    void ShowRunResult();

    // ---- test engine (worker thread) ---------------------------------------
    void TestThreadProc();
    bool PrepareDisc(uint8_t second);
    std::string SetResultStatus(uint8_t useOwnText, const std::string& ownText);
    // After a write: reads the disc information until it comes back, at
    // most a minute, pausing between reads.
    void WaitForDiscAfterWrite();
    void DisplayTimerTimer();
    // Published by the window, invoked by nothing.
    void TotalTimeTimerTimer() {}
    void DVDPRWCheckBoxClick() {}

    // ---- test steps ----------------------------------------------------------
    bool RunWriteTest();
    bool RunReadCompare();
    bool RunSequentialRead();
    bool RunRandomRead(uint32_t count);
    uint8_t ReadRange(uint32_t first, uint32_t end, uint8_t compare, std::span<uint8_t> buffer);
    bool WriteRange(std::span<uint8_t> buffer);
    uint8_t ReadRandomBlocks(uint32_t seed, uint32_t count, uint32_t low, uint32_t high, std::span<uint8_t> buffer);
    bool CloseSession(std::span<uint8_t> buffer, uint8_t track);

    // ---- format step ---------------------------------------------------------
    bool RunFormatTest(std::span<uint8_t> buffer);
    bool SendFormatCommand(uint8_t slot, uint8_t kind, std::span<uint8_t> buffer);
    uint32_t GetFormatCapacity(uint8_t slot, std::span<uint8_t> buffer);
    static uint32_t ReadBigEndian32(const uint8_t* bytes);

protected:
    void FormCreate() override;
    void FormCloseQuery(bool& canClose) override;

private:
    enum class DiscGroup { None, ReadOnly, WriteOnce, Rewritable, Other };
    DiscGroup GroupOfDisc(bool protectedRamIsOther) const;
    bool NoMedium() const { return (Disc.ErrorCode >> 8) == kNoMediumCode; }
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

    // Engine helpers: window updates from the worker are queued to the UI
    // thread.
    void Ui(std::function<void()> update);
    void ShowStatus(const std::string& text, uint32_t colour);
    void SetProgressMax(uint32_t maximum);
    void SetProgressPosition(uint32_t position);
    void ShowProgress(uint32_t position, uint32_t maximum);
    void BeginStep(const char* text);
    uint32_t SecondsSince(uint32_t start) const;
    void RunRoundStep(bool batch);
    void WriteThenCompare();
    bool EndRangeStep(uint8_t sequential, uint8_t compare, const std::string& result, uint32_t errorCode);
    void EndRun();
    bool WaitUntilReady(std::span<uint8_t> buffer, uint32_t pollMs, uint32_t boundMs, bool byKeyAsc,
                        uint32_t* errorCode, bool countSeconds);
    void WaitForWorker();
    void StopRunAndWait();

    std::atomic<uint32_t> progressMax_{0};

    bool testDirectoryMade_ = false;
};

extern TFormTest* FormTest;
