// The seam: the recording implementation, the Qt implementation across
// threads, the filter conversion and the platform message-box service.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <thread>

#include "UiTestSupport.h"
#include "vcl/Thread.h"

namespace {

using uitest::UiTest;
using DialogsTest = UiTest;

class LabelledForm : public vcl::TForm {
public:
    explicit LabelledForm(vcl::TForm* owner) : vcl::TForm(owner) {
        text = new QLabel("Download OK!!\nRestart WINDOWS", this);
        text->setObjectName("Label1");
        hidden = new QLabel("for engineer", this);
        hidden->setObjectName("LabelHidden");
        ok = new QPushButton("OK", this);
        vcl::OnClick(ok, [this] { SetModalResult(vcl::mrOk); });
    }
    std::string ClassName() const override { return "LabelledForm"; }
    QLabel* text;
    QLabel* hidden;
    QPushButton* ok;
    int shows = 0;

protected:
    void FormShow() override {
        ++shows;
        hidden->hide();
    }
};

TEST_F(DialogsTest, RecordsMessageBoxesAndAnswersFromTheQueueThenIdok) {
    vcl::TForm owner;
    dialogs.QueueMessageBoxAnswer(platform::IDCANCEL);
    EXPECT_EQ(vcl::MessageBox(&owner, "Put a DVD-R disc on the tray ", "MESSAGE",
                              platform::MB_OKCANCEL | platform::MB_SYSTEMMODAL),
              platform::IDCANCEL);
    EXPECT_EQ(vcl::MessageBox(nullptr, "PASS !!", "MESSAGE", platform::MB_OK), platform::IDOK);

    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Owner, &owner);
    EXPECT_EQ(boxes[0].Text, "Put a DVD-R disc on the tray ");
    EXPECT_EQ(boxes[0].Caption, "MESSAGE");
    EXPECT_EQ(boxes[0].Flags, platform::MB_OKCANCEL | platform::MB_SYSTEMMODAL);
    EXPECT_TRUE(boxes[0].OnUiThread);
    EXPECT_EQ(boxes[0].Answer, platform::IDCANCEL);
    EXPECT_EQ(boxes[1].Owner, nullptr);
    EXPECT_LT(boxes[0].Sequence, boxes[1].Sequence);
}

TEST_F(DialogsTest, RecordsModalFormsWithTheirShownLabelsAndTakesTheirResult) {
    LabelledForm form(nullptr);
    struct Case {
        std::function<void(vcl::TForm&)> callback;
        int queued;  // 0: nothing queued
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0, vcl::mrOk},                                                  // default
        {nullptr, vcl::mrCancel, vcl::mrCancel},                                  // from the queue
        {[](vcl::TForm& f) { f.Close(); }, vcl::mrOk, vcl::mrCancel},            // closed: wins
        {[](vcl::TForm& f) { static_cast<LabelledForm&>(f).ok->click(); }, 0, vcl::mrOk},  // button
    };
    for (const Case& c : cases) {
        dialogs.Clear();
        dialogs.SetModalCallback(c.callback);
        if (c.queued != 0) dialogs.QueueModalResult(c.queued);
        EXPECT_EQ(form.ShowModal(), c.expected);
        EXPECT_EQ(form.ModalResult(), c.expected);
        EXPECT_FALSE(form.InModalState());
        const auto modals = dialogs.ModalForms();
        ASSERT_EQ(modals.size(), 1u);
        EXPECT_EQ(modals[0].ClassName, "LabelledForm");
        EXPECT_EQ(modals[0].Text("Label1"), "Download OK!!\nRestart WINDOWS");
        EXPECT_EQ(modals[0].Texts.count("LabelHidden"), 0u);  // hidden by FormShow
        EXPECT_EQ(modals[0].Result, c.expected);
    }
    EXPECT_EQ(form.shows, 4);
    EXPECT_FALSE(form.isVisible());  // the recorder never shows a window
}

TEST_F(DialogsTest, RecordsOpenFileRequestsAndAnswersFromTheQueueThenCancelled) {
    vcl::TForm owner;
    dialogs.QueueOpenFile("/tmp/fw/NEW.BIN");
    std::string path = "AUTORUN.BIN";
    EXPECT_TRUE(vcl::CurrentDialogs().OpenFile(&owner, "DOWNLOAD FILE(*.BIN)|*.BIN", path));
    EXPECT_EQ(path, "/tmp/fw/NEW.BIN");
    EXPECT_FALSE(vcl::CurrentDialogs().OpenFile(&owner, "DOWNLOAD FILE(*.BIN)|*.BIN", path));
    EXPECT_EQ(path, "/tmp/fw/NEW.BIN");  // untouched when cancelled

    const auto files = dialogs.OpenFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Owner, &owner);
    EXPECT_EQ(files[0].Filter, "DOWNLOAD FILE(*.BIN)|*.BIN");
    EXPECT_EQ(files[0].InitialPath, "AUTORUN.BIN");
    EXPECT_TRUE(files[0].Accepted);
    EXPECT_FALSE(files[1].Accepted);
}

TEST_F(DialogsTest, EchoesOneLinePerRecordOnStderr) {
    dialogs.SetEcho(true);
    LabelledForm form(nullptr);
    testing::internal::CaptureStderr();
    vcl::MessageBox(nullptr, "Download File Info. !!\n(61440b 60Kb 16Cmd)\n", "MESSAGE",
                    platform::MB_SYSTEMMODAL);
    form.ShowModal();
    std::string path;
    vcl::CurrentDialogs().OpenFile(nullptr, "DOWNLOAD FILE(*.BIN)|*.BIN", path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ui: MessageBox caption=\"MESSAGE\" flags=0x1000 "
              "text=\"Download File Info. !!\\n(61440b 60Kb 16Cmd)\\n\" -> 1\n"
              "ui: ShowModal LabelledForm Label1=\"Download OK!!\\nRestart WINDOWS\" -> 1\n"
              "ui: OpenFile filter=\"DOWNLOAD FILE(*.BIN)|*.BIN\" -> cancelled\n");
}

TEST_F(DialogsTest, AWorkersMessageBoxWaitsForTheUiThreadsAnswer) {
    vcl::InstallDialogs(nullptr);  // the Qt seam
    // The "user": answers the first box that comes up on the UI thread.
    std::string shownText;
    bool shownOnUi = false;
    bool workerWaitedForTheAnswer = false;
    std::atomic<bool> done{false};
    QTimer user;
    user.setInterval(0);
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text().toStdString();
            shownOnUi = vcl::IsUiThread();
            workerWaitedForTheAnswer = !done.load();
            box->button(QMessageBox::Cancel)->click();
        }
    });
    user.start();

    std::atomic<int> answer{0};
    std::thread worker([&] {
        answer = vcl::MessageBox(nullptr, "Put a CD-R disc on the tray ", "MESSAGE",
                                 platform::MB_OKCANCEL | platform::MB_SYSTEMMODAL);
        done = true;
    });
    const bool answered = RunUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(answer, platform::IDCANCEL);
    EXPECT_EQ(shownText, "Put a CD-R disc on the tray ");
    EXPECT_TRUE(shownOnUi);
    EXPECT_TRUE(workerWaitedForTheAnswer) << "the worker went on while the box was up";
}

TEST_F(DialogsTest, QtSeamRunsANestedLoopUntilTheFormEndsIt) {
    vcl::InstallDialogs(nullptr);
    vcl::TForm main;
    auto form = vcl::Create<LabelledForm>(&main);
    form->SetPosition(vcl::TPosition::OwnerCenter);
    form->SetBorderless(true);  // no frame to count in the centring
    main.setGeometry(100, 100, 517, 384);
    form->resize(286, 163);
    bool wasVisible = false;
    QTimer::singleShot(0, [&] {
        wasVisible = form->isVisible();
        form->ok->click();
    });
    EXPECT_EQ(form->ShowModal(), vcl::mrOk);
    EXPECT_TRUE(wasVisible);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->shows, 1);
    EXPECT_LE((form->geometry().center() - main.geometry().center()).manhattanLength(), 2);
}

TEST_F(DialogsTest, ClassLibraryFiltersBecomeQtFiltersInBothCases) {
    const std::pair<const char*, const char*> cases[] = {
        {"DOWNLOAD FILE(*.BIN)|*.BIN", "DOWNLOAD FILE(*.BIN) (*.BIN *.bin)"},
        {"Logs|*.log;*.Txt|All|*.*", "Logs (*.log *.LOG *.Txt *.TXT *.txt);;All (*.*)"},
        {"", ""},
        {"No patterns", "No patterns (*)"},
        {"Odd|*.a|Dangling", "Odd (*.a *.A);;Dangling (*)"},
    };
    for (const auto& [vcl, qt] : cases) EXPECT_EQ(vcl::QtFilterFromVcl(vcl), qt) << vcl;
}

TEST_F(DialogsTest, ThePlatformMessageBoxServiceAnswersThroughTheSeam) {
    EXPECT_TRUE(vcl::InstallMessageBoxService());
    dialogs.QueueMessageBoxAnswer(platform::IDNO);
    EXPECT_EQ(platform::Current().MessageBoxes->MessageBox(nullptr, "Format?", "MESSAGE", platform::MB_YESNO),
              platform::IDNO);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].Text, "Format?");

    platform::Uninstall();
    EXPECT_FALSE(vcl::InstallMessageBoxService());  // no machine: nothing half-installed
    EXPECT_FALSE(platform::IsInstalled());
}

}  // namespace
