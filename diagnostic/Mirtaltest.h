// The test window: the drive list, the drive's identity, the loaded disc's
// type, status, identifier and capacity, DVD-RAM write protection, the log
// viewer, the screen items and the test options.  Its creation does the
// program's start-up work (drives, test directory, first disc).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "diagnostic/ScreenItems.h"
#include "drive/DiscInfo.h"
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
// The longest the window waits for a disc's information (a drive that never
// answers and never reports no disc would keep it waiting for good).
inline constexpr uint32_t kDiscWaitBoundMs = 60000;

// The error code's upper 16 bits when the drive holds no disc.
inline constexpr uint32_t kNoMediumCode = 0x023A;
inline constexpr uint8_t kNoTestKind = 255;

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

// The state shared with a test run's worker: written by either thread.
struct TestRunState {
    std::atomic<uint8_t> TestKind{kNoTestKind};
    std::atomic<uint8_t> RangeKind{kNoTestKind};
    std::atomic<uint8_t> Abort{0};
    std::atomic<uint8_t> UserBreak{0};
    std::atomic<uint8_t> Fail{0};
    std::atomic<uint32_t> RangeStart{0};
    std::atomic<uint32_t> RangeEnd{0};
    std::atomic<uint32_t> CurrentAddress{0};
    // True while a run's worker runs; the close box and the drive commands
    // of the window respect it.
    std::atomic<bool> Running{false};
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
    void StopBtnClick();
    void ShowRunResult();

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
    void ReadCheckBoxClick(bool random);
    void EditChange();
    void ReadSettingsAtStart();
    int Box(const std::string& text, uint32_t flags);

    bool testDirectoryMade_ = false;
};

extern TFormTest* FormTest;
