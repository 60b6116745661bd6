// While the test window waits for its drive (a disc that is still becoming
// ready) or pauses (the write-protection command's second before its
// question), its event loop keeps running: queued calls and timers come,
// CLOSE ends the window at once with no command after it, and every handler
// that would send a drive command refuses until the wait is over.
#include "CorvanTestSupport.h"

#include "vcl/Timer.h"

namespace {

using namespace corvantest;

// Far longer than the window waits for a drive.
constexpr uint32_t kLongLoadMs = 10 * 60 * 1000;

// fn runs the next time an event loop of the UI thread looks.
void PostToLoop(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

// What keeps the window waiting.
enum class Hold { DiscWait, PwpPause };

std::string HoldName(Hold hold) { return hold == Hold::DiscWait ? "DiscWait" : "PwpPause"; }

void PrintTo(Hold hold, std::ostream* os) { *os << HoldName(hold); }

class WindowWaitTest : public CorvanTest {
protected:
    // A DVD-RAM drive, ready at start, and a second drive with a CD-ROM.
    void AttachDrives() {
        ram = &AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRam));
        sim::DriveConfig other;
        other.Product = "OTHER DRIVE";
        cd = &AttachDrive('e', sim::MakeDisc(sim::DiscModel::CdRom), other);
    }

    uint32_t Commands() const { return ram->CommandCount() + cd->CommandCount(); }

    // Holds the window and returns when the handler that holds it does: the
    // disc is put in again, takes ten minutes to become ready, and DISC INFO
    // waits for it; or "RAM PWP Control" pauses before its question.
    void HoldWindow(TFormTest& form, Hold hold) {
        holding = true;
        if (hold == Hold::DiscWait) {
            ram->MutableConfig().BecomingReadyMs = kLongLoadMs;
            ram->LoadDisc(*ram->TakeDisc());
            form.DiscInfoBtn->click();
        } else {
            form.PWPControl->trigger();
        }
        holding = false;
    }

    sim::SimDrive* ram = nullptr;
    sim::SimDrive* cd = nullptr;
    bool holding = false;  // inside the handler that holds the window
};

class HeldWindow : public WindowWaitTest, public ::testing::WithParamInterface<Hold> {};

// A queued call comes at once, and a timer of the window's thread fires in
// the clock's time while the drive is still not ready; the wait still ends
// at its bound.
TEST_P(HeldWindow, ItsEventLoopKeepsRunning) {
    AttachDrives();
    const Hold hold = GetParam();
    bool queuedCame = false;
    bool timerCame = false;
    uint32_t timerAfter = 0;
    uint32_t heldFor = 0;
    Run([&](TFormTest& form) {
        vcl::TTimer probe;
        probe.SetInterval(hold == Hold::DiscWait ? 2000 : 500);
        const uint32_t start = machine.Clock().TickCount();
        probe.OnTimer = [&] {
            probe.SetEnabled(false);
            timerCame = holding;
            timerAfter = machine.Clock().TickCount() - start;
        };
        PostToLoop([&] { queuedCame = holding; });
        probe.SetEnabled(true);
        HoldWindow(form, hold);
        heldFor = machine.Clock().TickCount() - start;
    });
    EXPECT_TRUE(queuedCame);
    EXPECT_TRUE(timerCame);
    EXPECT_EQ(timerAfter, hold == Hold::DiscWait ? 2000u : 500u);
    if (hold == Hold::DiscWait) {
        EXPECT_GE(heldFor, kDiscWaitBoundMs);
        EXPECT_LT(heldFor, kDiscWaitBoundMs + 2 * kDiscWaitPollMs);
    }
}

// CLOSE during the wait ends it and the window at once: nothing more goes
// to the drive, and the write-protection question never comes.
TEST_P(HeldWindow, CloseEndsTheWaitAndTheWindowAtOnce) {
    AttachDrives();
    bool closedInside = false;
    uint32_t commandsAtClose = 0;
    uint32_t commandsAfter = 0;
    uint32_t closedAt = 0;
    uint32_t returnedAt = 0;
    int result = vcl::mrNone;
    Run([&](TFormTest& form) {
        PostToLoop([&] {
            if (!holding) return;
            closedInside = true;
            commandsAtClose = Commands();
            closedAt = machine.Clock().TickCount();
            form.CloseBtn->click();
        });
        HoldWindow(form, GetParam());
        returnedAt = machine.Clock().TickCount();
        commandsAfter = Commands();
        result = form.ModalResult();
    });
    ASSERT_TRUE(closedInside);
    EXPECT_EQ(commandsAfter, commandsAtClose);
    EXPECT_EQ(result, vcl::mrCancel);
    // At most the disc watch's next tick, which is refused, came after it.
    EXPECT_LE(returnedAt - closedAt, kDiscWatchMs);
    EXPECT_EQ(Shown(), (Lines{"TFormTest"}));
    EXPECT_TRUE(fs::exists(SettingsPath()));
}

// Closed during a run, the window waits for the run's end and shows its
// result, and then reads the drive no more: the run's tray command is the
// drive's last.
TEST_F(WindowWaitTest, ClosedDuringARunItReadsNothingAfterTheRunsEnd) {
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom));
    std::vector<sim::LoggedCommand> log;
    bool runOver = false;
    Run([&](TFormTest& form) {
        form.ReadProperties->click();
        form.RandomReadCheckBox->click();
        form.StartBtnClick();
        // The close box: CLOSE itself is off during a run.
        form.close();
        runOver = !form.RunActive();
        log = drive.LogSnapshot();
    });
    EXPECT_TRUE(runOver);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Cdb[0], 0x1B);
    const std::string verdict = dialogs.MessageBoxes().back().Text;
    EXPECT_TRUE(verdict == "BREAK!!" || verdict == "PASS !!") << verdict;
}

INSTANTIATE_TEST_SUITE_P(Holds, HeldWindow, ::testing::Values(Hold::DiscWait, Hold::PwpPause),
                         [](const ::testing::TestParamInfo<Hold>& info) { return HoldName(info.param); });

// The handlers that send a drive command (or choose the drive the wait
// asks), each called while the window is held.
struct HandlerCase {
    const char* name;
    std::function<void(TFormTest&)> call;
};

void PrintTo(const HandlerCase& handler, std::ostream* os) { *os << handler.name; }

const HandlerCase kHandlers[] = {
    {"DiscInfo", [](TFormTest& form) { form.DiscInfoBtn->click(); }},
    {"DriveChange",
     [](TFormTest& form) {
         form.DriveComboBox->setCurrentIndex(1);
         emit form.DriveComboBox->activated(1);
     }},
    {"PwpControl", [](TFormTest& form) { form.PWPControl->trigger(); }},
    {"DiscWatch", [](TFormTest& form) { form.AutoRunTimer(); }},
    {"Start", [](TFormTest& form) { form.StartBtnClick(); }},
    {"ScreenItems", [](TFormTest& form) { form.ScreenTestItem1Click(); }},
};

class RefusedWhileHeld : public WindowWaitTest,
                         public ::testing::WithParamInterface<std::tuple<Hold, HandlerCase>> {};

TEST_P(RefusedWhileHeld, SendsNothingAndShowsNothing) {
    AttachDrives();
    const Hold hold = std::get<0>(GetParam());
    const HandlerCase& handler = std::get<1>(GetParam());
    bool calledInside = false;
    uint32_t commandsBefore = 0;
    uint32_t commandsAfter = 0;
    size_t shownBefore = 0;
    size_t shownAfter = 0;
    int slotAfter = -1;
    int itemAfter = -1;
    bool runStarted = false;
    Run([&](TFormTest& form) {
        PostToLoop([&] {
            if (!holding) return;
            calledInside = true;
            commandsBefore = Commands();
            shownBefore = Shown().size();
            handler.call(form);
            commandsAfter = Commands();
            shownAfter = Shown().size();
            slotAfter = form.CurrentSlot;
            itemAfter = form.DriveComboBox->currentIndex();
            runStarted = form.Engine() != nullptr;
        });
        HoldWindow(form, hold);
    });
    ASSERT_TRUE(calledInside);
    EXPECT_EQ(commandsAfter, commandsBefore);
    EXPECT_EQ(shownAfter, shownBefore);
    // The list still shows the drive the window uses.
    EXPECT_EQ(slotAfter, 0);
    EXPECT_EQ(itemAfter, 0);
    EXPECT_FALSE(runStarted);
}

INSTANTIATE_TEST_SUITE_P(Handlers, RefusedWhileHeld,
                         ::testing::Combine(::testing::Values(Hold::DiscWait, Hold::PwpPause),
                                            ::testing::ValuesIn(kHandlers)),
                         [](const ::testing::TestParamInfo<std::tuple<Hold, HandlerCase>>& info) {
                             return HoldName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
