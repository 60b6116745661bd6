// The application object: main form, Run, Terminate and the exception display.
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

#include "UiTestSupport.h"
#include "vcl/Timer.h"

namespace {

using uitest::UiTest;

// A form whose creation does what the test asks.
class ScriptedForm : public vcl::TForm {
public:
    ScriptedForm(vcl::TForm* owner, std::function<void(ScriptedForm&)> onCreate)
        : vcl::TForm(owner), onCreate_(std::move(onCreate)) {
        button = new QPushButton(this);
        button->setObjectName("Button");
    }
    std::string ClassName() const override { return "ScriptedForm"; }
    QPushButton* button = nullptr;
    bool createFinished = false;

protected:
    void FormCreate() override {
        if (onCreate_) onCreate_(*this);
        createFinished = true;
    }

private:
    std::function<void(ScriptedForm&)> onCreate_;
};

using ApplicationTest = UiTest;

TEST_F(ApplicationTest, RunReturnsAtOnceWhenTheMainFormClosedItselfWhileCreated) {
    ScriptedForm* main = nullptr;
    vcl::Application.CreateForm(main, [](ScriptedForm& f) { f.Close(); });
    ASSERT_EQ(vcl::Application.MainForm(), main);

    // Should Run enter its loop anyway, this ends it and tells.
    bool loopRan = false;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        loopRan = true;
        vcl::Application.Terminate();
    });
    rescue.start(0);
    EXPECT_EQ(vcl::Application.Run(), 0);
    EXPECT_FALSE(loopRan);
    EXPECT_FALSE(main->isVisible());
}

TEST_F(ApplicationTest, ClosingTheMainFormFromAHandlerEndsRunAndOtherFormsDoNot) {
    ScriptedForm* main = nullptr;
    ScriptedForm* second = nullptr;
    vcl::Application.CreateForm(main, nullptr);
    vcl::Application.CreateForm(second, nullptr);
    EXPECT_EQ(vcl::Application.MainForm(), main);

    vcl::TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        if (ticks == 1) second->Close();  // not the main form: only hides it
        if (ticks == 2) main->Close();
    };
    timer.SetEnabled(true);
    vcl::Application.Run();
    EXPECT_EQ(ticks, 2);
    EXPECT_TRUE(vcl::Application.Terminated());
    EXPECT_FALSE(main->isVisible());
}

TEST_F(ApplicationTest, AnExceptionInFormCreateIsShownAndCreationGoesOn) {
    vcl::Application.Title = "Pelmora";
    ScriptedForm* main = nullptr;
    vcl::Application.CreateForm(main, [](ScriptedForm&) { throw std::runtime_error("Cannot create Test Directory."); });
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(main->createFinished);
    EXPECT_EQ(vcl::Application.MainForm(), main);

    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Cannot create Test Directory.");
    EXPECT_EQ(boxes[0].Caption, "Pelmora");
    EXPECT_EQ(boxes[0].Flags, platform::MB_OK | platform::MB_ICONERROR);

    // The window still opens and the program runs on.
    QTimer::singleShot(0, [&] { main->Close(); });
    vcl::Application.Run();
    EXPECT_TRUE(vcl::Application.Terminated());
}

TEST_F(ApplicationTest, AnExceptionInAHandlerIsShownAndTheProgramGoesOn) {
    ScriptedForm* main = nullptr;
    vcl::Application.CreateForm(main, nullptr);
    int clicks = 0;
    vcl::OnClick(main->button, [&] {
        if (++clicks == 1) throw std::logic_error("handler failed");
        main->Close();
    });
    QTimer::singleShot(0, [&] {
        main->button->click();
        main->button->click();
    });
    vcl::Application.Run();
    EXPECT_EQ(clicks, 2);
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "handler failed");
    EXPECT_EQ(boxes[0].Caption, "Test");
}

TEST_F(ApplicationTest, RunGuardedShowsWhatEscapesTheEntryAndEndsNormally) {
    struct Case {
        std::function<void()> entry;
        const char* shown;  // nullptr: nothing shown
    };
    const Case cases[] = {
        {[] {}, nullptr},
        {[] { throw std::runtime_error("entry failed"); }, "entry failed"},
        {[] { throw 42; }, ""},  // not an exception of the library: empty message
    };
    for (const Case& c : cases) {
        dialogs.Clear();
        EXPECT_EQ(vcl::RunGuarded(c.entry), 0);
        const auto boxes = dialogs.MessageBoxes();
        if (c.shown == nullptr) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].Text, c.shown);
        }
    }
}

TEST_F(ApplicationTest, TerminateEndsAModalLoopNestedInRun) {
    vcl::InstallDialogs(nullptr);  // the Qt seam: a real nested loop
    ScriptedForm* main = nullptr;
    vcl::Application.CreateForm(main, nullptr);
    auto modal = vcl::Create<ScriptedForm>(main, nullptr);
    int result = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { vcl::Application.Terminate(); });
        result = modal->ShowModal();
    });
    vcl::Application.Run();
    EXPECT_EQ(result, vcl::mrCancel);
    // Once the program ends, no modal window comes up any more.
    EXPECT_EQ(modal->ShowModal(), vcl::mrCancel);
}

}  // namespace
