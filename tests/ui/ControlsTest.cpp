// The class library's rules that the diagnostic program's windows rely on:
// handlers of controls changed from code, a radio group with none checked,
// the close query, the activate event and menu shortcuts of hidden items.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>

#include <string>

#include "UiTestSupport.h"
#include "vcl/Controls.h"

namespace {

using uitest::UiTest;
using ControlsTest = UiTest;

TEST_F(ControlsTest, HandlersRunForChangesFromCodeAsTheClassLibraryRunsThem) {
    QWidget parent;
    QCheckBox box(&parent);
    QRadioButton first(&parent), second(&parent);
    QLineEdit edit(&parent);
    QComboBox combo(&parent);
    combo.addItems({"a", "b"});
    std::string events;
    vcl::OnClick(&box, [&] { events += 'C'; });
    vcl::OnClick(&first, [&] { events += '1'; });
    vcl::OnClick(&second, [&] { events += '2'; });
    vcl::OnChange(&edit, [&] { events += 'E'; });
    vcl::OnChange(&combo, [&] { events += 'K'; });

    const struct {
        const char* step;
        std::function<void()> act;
        const char* expected;
    } steps[] = {
        {"check box checked from code", [&] { vcl::SetChecked(&box, true); }, "C"},
        {"check box unchecked from code", [&] { vcl::SetChecked(&box, false); }, "C"},
        {"check box set to its own state", [&] { vcl::SetChecked(&box, false); }, ""},
        {"check box clicked", [&] { box.click(); }, "C"},
        {"radio checked from code", [&] { vcl::SetChecked(&first, true); }, "1"},
        {"other radio checked: only it runs", [&] { vcl::SetChecked(&second, true); }, "2"},
        {"radio unchecked from code", [&] { vcl::SetChecked(&second, false); }, ""},
        {"radio clicked", [&] { first.click(); }, "1"},
        {"checked radio clicked again", [&] { first.click(); }, ""},
        {"edit set from code", [&] { edit.setText("200"); }, "E"},
        {"combo changed from code", [&] { combo.setCurrentIndex(1); }, ""},
        {"combo picked by the user", [&] { emit combo.activated(0); }, "K"},
    };
    for (const auto& s : steps) {
        events.clear();
        s.act();
        EXPECT_EQ(events, s.expected) << s.step;
    }
}

TEST_F(ControlsTest, ARadioGroupCanHaveNoneChecked) {
    QWidget parent;
    QRadioButton a(&parent), b(&parent);  // one group by their parent
    QRadioButton c(&parent), d(&parent);  // another by a button group
    QButtonGroup group;
    group.addButton(&c);
    group.addButton(&d);
    for (QRadioButton* button : {&a, &c}) {
        vcl::SetChecked(button, true);
        vcl::SetChecked(button, false);
        EXPECT_FALSE(button->isChecked());
    }
    EXPECT_FALSE(b.isChecked());
    EXPECT_FALSE(d.isChecked());
    // Still exclusive afterwards.
    vcl::SetChecked(&c, true);
    vcl::SetChecked(&d, true);
    EXPECT_FALSE(c.isChecked());
    vcl::SetChecked(&a, true);
    b.click();
    EXPECT_FALSE(a.isChecked());
}

// What the window system does when the user clicks the close box: it asks
// with a close event and hides the window when the event is accepted.
void ClickCloseBox(QWidget& form) {
    QCloseEvent event;
    QApplication::sendEvent(&form, &event);
    if (event.isAccepted()) form.hide();
}

class QueryForm : public vcl::TForm {
public:
    using vcl::TForm::TForm;
    bool allow = false;
    int queries = 0;
    int activations = 0;

protected:
    void FormCloseQuery(bool& canClose) override {
        ++queries;
        canClose = allow;
    }
    void FormActivate() override { ++activations; }
};

// Close(), the close box and a modal result all ask first, modal or not.
TEST_F(ControlsTest, TheCloseQueryCanRefuseEveryWayOfClosing) {
    QueryForm form;
    form.Show();
    form.Close();
    EXPECT_TRUE(form.isVisible());
    ClickCloseBox(form);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.queries, 2);
    form.allow = true;
    ClickCloseBox(form);
    EXPECT_FALSE(form.isVisible());

    // Modal, through the recording seam: a refused close keeps it up.
    form.allow = false;
    form.queries = 0;
    dialogs.SetModalCallback([&](vcl::TForm& shown) {
        shown.Close();
        EXPECT_EQ(shown.ModalResult(), vcl::mrNone);
        ClickCloseBox(shown);
        EXPECT_EQ(shown.ModalResult(), vcl::mrNone);
        form.allow = true;
        ClickCloseBox(shown);
    });
    EXPECT_EQ(form.ShowModal(), vcl::mrCancel);
    EXPECT_EQ(form.queries, 3);

    // The seam's own answer closes the form the same way.
    dialogs.SetModalCallback(nullptr);
    form.allow = false;
    EXPECT_EQ(form.ShowModal(), vcl::mrNone);
    form.allow = true;
    dialogs.QueueModalResult(vcl::mrOk);
    EXPECT_EQ(form.ShowModal(), vcl::mrOk);
}

TEST_F(ControlsTest, TheRecordingSeamActivatesTheFormEachTimeItShowsIt) {
    QueryForm form;
    form.allow = true;
    form.ShowModal();
    form.ShowModal();
    EXPECT_EQ(form.activations, 2);
}

TEST_F(ControlsTest, ShortcutsOfHiddenMenuItemsStillAct) {
    QueryForm form;
    form.resize(200, 100);
    QMenuBar bar(&form);
    QMenu* file = bar.addMenu("&File");
    QAction* open = file->addAction("&Open LogFile");
    open->setShortcut(QKeySequence("Ctrl+O"));
    QAction* disabled = file->addAction("Close");
    disabled->setShortcut(QKeySequence("Ctrl+C"));
    disabled->setEnabled(false);
    file->menuAction()->setVisible(false);
    vcl::KeepMenuShortcuts(&form, &bar);
    int opened = 0, closed = 0;
    QObject::connect(open, &QAction::triggered, [&] { ++opened; });
    QObject::connect(disabled, &QAction::triggered, [&] { ++closed; });

    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 0);  // a disabled item does not act
    form.hide();
}

}  // namespace
