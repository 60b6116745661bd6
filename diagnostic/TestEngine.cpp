// The test engine: START, the run's worker, its rounds and the disc
// preparation, the step result text and the display timer.
#include <QProgressBar>

#include <climits>
#include <cstdio>

#include "diagnostic/Mirtaltest.h"
#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "drive/TextHelpers.h"
#include "platform/Win.h"
#include "vcl/Graphics.h"

namespace {

constexpr uint16_t kFeatureCdTrackAtOnce = 0x2D;
constexpr uint16_t kFeatureDvdRead = 0x1F;
constexpr uint16_t kFeatureDvdMinusWrite = 0x2F;

// Rounds of a Batch run by what the drive can do: CD read; then DVD read;
// with CD writing a CD-RW round before it; with DVD-R/-RW writing a DVD-RW
// round at the end.
uint8_t BatchRoundCount(bool cdWrite, bool dvdRead, bool dvdMinusWrite) {
    if (!cdWrite) return dvdRead ? 2 : 1;
    return dvdMinusWrite ? 4 : 3;
}

std::string Prompt(uint8_t kind) {
    if (kind == 0 || kind == 3)
        return "Put a " + drive::GetDiscTypeName(kind) + " or " + drive::GetDiscTypeName(kind + 1) +
               " disc on the tray ";
    return "Put a " + drive::GetDiscTypeName(kind) + " disc on the tray ";
}

}  // namespace

void TTestThread::Execute() { form_.TestThreadProc(); }

// ---------------------------------------------------------------------------
// Window updates from the worker

void TFormTest::Ui(std::function<void()> update) {
    if (vcl::IsUiThread())
        update();
    else
        vcl::TThread::Queue(std::move(update));
}

void TFormTest::ShowStatus(const std::string& text, uint32_t colour) {
    Ui([this, text, colour] {
        vcl::SetFontColor(StatusLabel, colour);
        StatusLabel->setText(QString::fromLocal8Bit(text.c_str()));
    });
}

void TFormTest::ShowProgress(uint32_t position, uint32_t maximum) {
    // The bar counts in int: a range past it is shown halved until it fits.
    int shift = 0;
    while ((maximum >> shift) > static_cast<uint32_t>(INT_MAX)) ++shift;
    TestProgressBar->setMaximum(static_cast<int>(maximum >> shift));
    TestProgressBar->setValue(static_cast<int>(std::min(position, maximum) >> shift));
}

void TFormTest::SetProgressMax(uint32_t maximum) {
    progressMax_ = maximum;
    Ui([this, maximum] { ShowProgress(static_cast<uint32_t>(TestProgressBar->value()), maximum); });
}

void TFormTest::SetProgressPosition(uint32_t position) {
    Ui([this, position] { ShowProgress(position, progressMax_); });
}

uint32_t TFormTest::SecondsSince(uint32_t start) const { return (win::timeGetTime() - start) / 1000; }

void TFormTest::BeginStep(const char* text) {
    Run.Fail = 0;
    Run.StepStartTime = win::timeGetTime();
    DisplayTimer->SetEnabled(true);
    if (text != nullptr) ShowStatus(text, clNavy);
    SetProgressPosition(0);
}

// ---------------------------------------------------------------------------
// START and the run

void TFormTest::StartBtnClick() {
    if (Run.Running) return;
    SaveScreenItems();
    TestLogPath = TestLogPathFor(TestDirectory, LogFileNameEdit->text().toLocal8Bit().toStdString());
    EnableControls(false);
    StartBtn->setEnabled(false);
    StopBtn->setEnabled(true);
    AutoRun->SetEnabled(false);
    ClearStatusLabels();
    Run.Abort = 0;
    Run.UserBreak = 0;
    Run.Fail = 0;
    Run.RunFailed = 0;
    Run.TestKind = kNoTestKind;
    WriteLogHeader(TestLogPath, drive::FormatNow(0), FullIdentity, VendorId, ProductId, FirmwareVersion);
    // The last run's worker has ended its run; its thread is joined before
    // the next one starts.
    WaitForWorker();
    Run.Slot = CurrentSlot;
    Run.Running = true;
    Worker = std::make_unique<TTestThread>(*this);
    Worker->Resume();
}

void TFormTest::WaitForWorker() {
    if (!Worker) return;
    Worker->WaitFor();
    Worker.reset();
}

void TFormTest::StopBtnClick() {
    Run.Abort = 1;
    Run.UserBreak = 1;
}

void TFormTest::ShowRunResult() {
    const char* text = Run.Abort != 0 ? "BREAK!!" : (Run.Fail != 0 || Run.RunFailed != 0) ? "FAIL !!" : "PASS !!";
    Box(text, platform::MB_OK);
}

void TFormTest::TestThreadProc() {
    std::vector<uint8_t> buffer(kStepBufferSize);
    const uint8_t slot = Run.Slot;
    Run.NextKind = 0;
    Run.RoundCount = 0;
    const int16_t index = drive::DiscCodeToIndex(Disc.DiscType);
    const bool batch = Options.BatchMode;
    if (batch) {
        const bool cdWrite = drive::HasFeature(slot, kFeatureCdTrackAtOnce, 0, buffer);
        const bool dvdRead = drive::HasFeature(slot, kFeatureDvdRead, 0, buffer);
        const bool dvdMinusWrite = drive::HasFeature(slot, kFeatureDvdMinusWrite, 0, buffer);
        Run.RoundCount = BatchRoundCount(cdWrite, dvdRead, dvdMinusWrite);
        Run.RangeKind = 0;
        Run.TestKind = 0;
    } else {
        const uint8_t kind = index < 0 || index >= kNoTestKind ? kNoTestKind : static_cast<uint8_t>(index);
        Run.RangeKind = kind;
        Run.TestKind = kind;
        Run.RoundCount = 1;
    }
    Ui([this] { vcl::SetFontColor(StatusLabel, clNavy); });
    uint8_t testIndex = 0;
    uint8_t prepared = 0;
    for (uint8_t round = 0; round < Run.RoundCount; ++round) {
        // A stopped run asks for no further disc.
        if (Run.Abort != 0) break;
        if (!PrepareDisc(prepared)) {
            Disc = drive::DiscRecord{};
            break;
        }
        prepared = 1;
        Run.CurrentAddress = 0;
        SetProgressPosition(0);
        WriteLogTestIndex(TestLogPath, testIndex, Run.SecondNumber);
        ++testIndex;
        // A disc that went away between the two looks ends the run the same
        // way: with the tray open, the verdict and the window given back.
        if (!PrepareDisc(1)) break;
        Run.Progress = 0;
        SetProgressPosition(0);
        DisplayTimer->SetEnabled(true);
        RunRoundStep(batch);
        if (batch) {
            Run.TestKind = Run.NextKind.load();
            Run.RangeKind = Run.NextKind.load();
        }
        prepared = 0;
        DisplayTimer->SetEnabled(false);
    }
    EndRun();
}

void TFormTest::RunRoundStep(bool batch) {
    if (batch) {
        switch (Run.TestKind) {
            case 0:
            case 3:
                SetTestRange(true);
                RunRandomRead(kBatchRandomReads);
                break;
            case 2:
            case 5:
                WriteThenCompare();
                break;
            default:
                break;
        }
        return;
    }
    if (Options.ReadProperties) {
        SetTestRange(true);
        if (Options.RandomRead) RunRandomRead(static_cast<uint32_t>(std::max<int32_t>(Options.RandomReadCount, 0)));
        if (Options.SequentialRead) {
            // The count is read again before each pass, as the user may change it.
            for (int64_t pass = 0; Options.SequentialReadCount > pass; ++pass) {
                RunSequentialRead();
                if (Run.Abort != 0) break;
            }
        }
    } else if (Options.WriteProperties) {
        WriteThenCompare();
    }
}

void TFormTest::WriteThenCompare() {
    if (!RunWriteTest()) return;
    WaitForDiscAfterWrite();
    SetProgressPosition(0);
    RunReadCompare();
}

void TFormTest::WaitForDiscAfterWrite() {
    const uint32_t start = win::timeGetTime();
    while (SecondsSince(start) < kDiscAfterWriteSeconds && Run.Abort == 0) {
        if (drive::GetDiscInfo(Run.Slot, Disc)) {
            ShowDiscInfo();
            return;
        }
        win::Sleep(kDiscAfterWritePollMs);
    }
}

void TFormTest::EndRun() {
    std::vector<uint8_t> buffer(kStepBufferSize);
    AutoRun->SetEnabled(true);
    drive::LoadEjectTray(Run.Slot, 1, buffer);
    DisplayTimer->SetEnabled(false);
    ShowRunResult();
    EnableControls(true);
    Ui([this] { StopBtn->setEnabled(false); });
    WaitDiscReady();
    ShowDiscInfo();
    IsStartBtnEnable();
    Run.Running = false;
}

// ---------------------------------------------------------------------------
// Disc preparation

bool TFormTest::PrepareDisc(uint8_t second) {
    std::vector<uint8_t> buffer(kStepBufferSize);
    const uint8_t slot = Run.Slot;
    const bool batch = Options.BatchMode;
    const bool trayStep = batch && second == 0;
    const std::string prompt = trayStep ? Prompt(Run.TestKind) : std::string();
    DisplayTimer->SetEnabled(true);
    Run.StepStartTime = win::timeGetTime();
    SetProgressMax(kPreparationProgressMax);
    uint8_t accepted = 0;
    // One attempt: the attempt limit is 1.
    const int attempt = 0;
    const uint32_t attemptStart = win::timeGetTime();
    Run.Progress = 0;
    Ui([this] { ClearStatusLabels(); });
    if (trayStep) {
        ShowStatus("Tray Open..", clNavy);
        drive::LoadEjectTray(slot, 1, buffer);
        const int answer = Box(prompt, platform::MB_OKCANCEL | platform::MB_SYSTEMMODAL);
        if (answer != platform::IDOK) {
            Run.Abort = 1;
            Run.UserBreak = 1;
            WriteLogTrayTest(TestLogPath, SecondsSince(attemptStart), attempt, "BREAK");
        }
        Run.Progress = SecondsSince(attemptStart);
        if (Run.Abort == 0) {
            win::Sleep(kTrayCloseDelayMs);
            ShowStatus("Tray Close..", clNavy);
            drive::LoadEjectTray(slot, 0, buffer);
        }
    }
    if (Run.Abort == 0) {
        ShowStatus("Lead In..", clNavy);
        const uint32_t waitStart = win::timeGetTime();
        while (SecondsSince(waitStart) < kLeadInLimitSeconds) {
            win::Sleep(kLeadInPollMs);
            Run.Progress = SecondsSince(attemptStart);
            if (drive::TestUnitReady(slot, buffer) == drive::kStatusGood) {
                drive::Inquiry(slot, buffer);
                if (drive::GetDiscInfo(slot, Disc)) {
                    ShowDiscInfo();
                    uint8_t next = Run.NextKind;
                    accepted = batch ? drive::MatchesTestMedia(Run.TestKind, next, Run.RoundCount, Disc) : 1;
                    Run.NextKind = next;
                }
                break;
            }
            if (Run.Abort != 0) break;
        }
    }
    Run.Fail = accepted ? 0 : 1;
    if (!accepted) Run.RunFailed = 1;
    SetResultStatus(0, "");
    DisplayTimer->SetEnabled(false);
    if (accepted && second == 1) {
        SetProgressPosition(kPreparationProgressMax);
        WriteLogDiscInfo(TestLogPath, Disc);
    }
    return accepted != 0;
}

std::string TFormTest::SetResultStatus(uint8_t useOwnText, const std::string& ownText) {
    std::string text;
    uint32_t colour = clRed;
    if (Run.UserBreak != 0) {
        text = "BREAK";
    } else if (Run.Fail != 0) {
        text = useOwnText != 0 ? ownText : "FAIL!!";
        Run.RunFailed = 1;
    } else {
        text = "PASS!!";
        colour = clNavy;
    }
    ShowStatus(text, colour);
    return text;
}

void TFormTest::DisplayTimerTimer() {
    const uint32_t seconds = SecondsSince(Run.StepStartTime);
    uint32_t colour = (seconds % 2) != 0 ? clBlue : clNavy;
    if (Run.Abort != 0 || Run.UserBreak != 0 || Run.Fail != 0) colour = clRed;
    vcl::SetFontColor(StatusLabel, colour);
    AddressLabel->setText(QString::fromLatin1(drive::FormatNumber(Run.CurrentAddress, 0, 2).c_str()));
    ShowProgress(Run.Progress, progressMax_);
}
