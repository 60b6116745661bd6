#include "diagnostic/Mirtaltest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "diagnostic/Congifscreenitem.h"
#include "diagnostic/Mirtalabout.h"
#include "diagnostic/Mirtaltestspec.h"
#include "diagnostic/Settings.h"
#include "diagnostic/TestLog.h"
#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "drive/TextHelpers.h"
#include "drive/Transport.h"
#include "platform/Win.h"
#include "vcl/Controls.h"
#include "vcl/Dialogs.h"
#include "vcl/Graphics.h"
#include "vcl/Thread.h"

namespace fs = std::filesystem;

TFormTest* FormTest = nullptr;

namespace {

// Class-library colours (0x00BBGGRR).
constexpr uint32_t clMaroon = 0x000080;
constexpr uint32_t clPurple = 0x800080;

constexpr uint32_t kErrorBox = platform::MB_SYSTEMMODAL | platform::MB_ICONERROR;
constexpr uint32_t kQuestionBox = platform::MB_SYSTEMMODAL | platform::MB_YESNO;
constexpr int SW_SHOWMAXIMIZED = 3;

// The client area as the window was made, and with the test panel shown.
constexpr int kClientWidth = 612;
constexpr int kClientHeight = 197;
constexpr int kPanelClientHeight = 440;
constexpr int kStatusBarHeight = 19;

// Marks the window's drive as taken for the span of a handler.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy), was_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = was_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
    bool was_;
};

std::string Field(const uint8_t* bytes, size_t length) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    return text.substr(0, text.find('\0'));
}

QString Text(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size())); }

}  // namespace

bool IsValidLoopText(const std::string& text) { return std::strcmp(text.c_str(), "1") >= 0; }

// ---------------------------------------------------------------------------
// Creation

TFormTest::TFormTest(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    SetPosition(vcl::TPosition::ScreenCenter);
    // The menu bar sits above the client area, as the window system puts it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MirtalMainMenu);
    layout->addWidget(ClientArea);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ClientArea->setFixedSize(kClientWidth, kClientHeight);
    // "&File" is not shown; its commands act through their shortcuts.
    File1->menuAction()->setVisible(false);
    vcl::KeepMenuShortcuts(this, MirtalMainMenu);

    for (QLabel* label : {DrvVendorIDLabel, DrvProductIDLabel, DrvFirmwareVerLabel}) vcl::SetFontColor(label, clMaroon);
    vcl::SetFontColor(DiscStatusLabel, clPurple);

    AutoRun = std::make_unique<vcl::TTimer>();
    AutoRun->SetInterval(kDiscWatchMs);
    AutoRun->OnTimer = [this] { AutoRunTimer(); };
    AutoRun->SetEnabled(true);
    DisplayTimer = std::make_unique<vcl::TTimer>();
    DisplayTimer->SetInterval(kDisplayTimerMs);
    DisplayTimer->SetEnabled(false);
    DisplayTimer->OnTimer = [this] { DisplayTimerTimer(); };

    vcl::OnChange(DriveComboBox, [this] { DriveComboBoxChange(); });
    vcl::OnClick(DiscInfoBtn, [this] { DiscInfoBtnClick(); });
    vcl::OnClick(CloseBtn, [this] { CloseBtnClick(); });
    vcl::OnClick(StartBtn, [this] { StartBtnClick(); });
    vcl::OnClick(StopBtn, [this] { StopBtnClick(); });
    const auto menu = [this](QAction* action, void (TFormTest::*handler)()) {
        QObject::connect(action, &QAction::triggered, this, [this, handler] { vcl::Guard([&] { (this->*handler)(); }); });
    };
    menu(OpenLogFileMenu, &TFormTest::OpenLogFileMenuClick);
    menu(CloseMenu, &TFormTest::CloseBtnClick);
    menu(PWPControl, &TFormTest::PWPControlClick);
    menu(About1, &TFormTest::About1Click);
    menu(TestPanel1, &TFormTest::TestPanel1Click);
    menu(ScreenTestItem1, &TFormTest::ScreenTestItem1Click);
    menu(TestSpec1, &TFormTest::TestSpec1Click);
    vcl::OnClick(ReadProperties, [this] { ReadPropertiesClick(); });
    vcl::OnClick(WriteProperties, [this] { WritePropertiesClick(); });
    vcl::OnClick(OneFunction, [this] { OneFunctionClick(); });
    vcl::OnClick(RandomReadCheckBox, [this] { RandomReadCheckBoxClick(); });
    vcl::OnClick(SequentialReadCheckBox, [this] { SequentialReadCheckBoxClick(); });
    vcl::OnChange(RandomReadEdit, [this] { RandomReadEditChange(); });
    vcl::OnChange(SequentialReadEdit, [this] { SequentialReadEditChange(); });
    KeepOptionsCurrent();
}

TFormTest::~TFormTest() {
    StopRunAndWait();
    if (FormTest == this) FormTest = nullptr;
}

// The run's worker reads the options while the user may change them: the
// controls' own signals keep the model current.
void TFormTest::KeepOptionsCurrent() {
    const auto follow = [this](QAbstractButton* button, std::atomic<bool>& field) {
        field = button->isChecked();
        QObject::connect(button, &QAbstractButton::toggled, this, [&field](bool on) { field = on; });
    };
    follow(OneFunction, Options.BatchMode);
    follow(ReadProperties, Options.ReadProperties);
    follow(WriteProperties, Options.WriteProperties);
    follow(PartialWriteRadioBtn, Options.PartialWrite);
    follow(FullWriteRadioBtn, Options.FullWrite);
    follow(RandomReadCheckBox, Options.RandomRead);
    follow(SequentialReadCheckBox, Options.SequentialRead);
    const auto count = [this](QLineEdit* edit, std::atomic<int32_t>& field) {
        field = LoopCountValue(edit->text().toLocal8Bit().toStdString());
        QObject::connect(edit, &QLineEdit::textChanged, this,
                         [&field](const QString& text) { field = LoopCountValue(text.toLocal8Bit().toStdString()); });
    };
    count(RandomReadEdit, Options.RandomReadCount);
    count(SequentialReadEdit, Options.SequentialReadCount);
}

// A run in progress is stopped, and the window waits for its end, running
// the calls the run sends to this thread meanwhile (its disc prompt among
// them); then the worker is joined.
void TFormTest::StopRunAndWait() {
    if (runActive_) {
        engine_->Stop();
        WaitForRunEnd();
    }
    FinishLastRun();
}

void TFormTest::WaitForRunEnd() {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!runActive_) loop.quit();
    });
    poll.start(5);
    if (runActive_) loop.exec();
}

// The last run has reported its end; its worker has nothing left to do.
void TFormTest::FinishLastRun() {
    if (engine_) engine_->WaitFor();
}

int TFormTest::Box(const std::string& text, uint32_t flags) {
    return win::MessageBoxA(this, text, kMessageCaption, flags);
}

void TFormTest::FormCreate() {
    ResetMalformedSettingsNotice();
    setWindowTitle(QStringLiteral("Corvan CE"));
    std::array<drive::DriveNameSlot, kMaxTestDrives> names{};
    const int found = drive::FindDrives(names.data());
    if (found == 0) {
        Box("Drive Not Found!!", kErrorBox);
        vcl::Application.Terminate();
    } else if (found == drive::kAspiUnavailable) {
        Box("ASPI Not Found!!", kErrorBox);
        vcl::Application.Terminate();
    }
    // Enumeration fills at most one cell per slot.
    for (int j = 0; j < found && j < kMaxTestDrives; ++j) {
        TestDriveEntry& entry = DriveTable.Entries[DriveTable.Count++];
        std::memcpy(entry.Name, names[j].Text, sizeof entry.Name);
        entry.Name[sizeof entry.Name - 1] = '\0';
        entry.Slot = static_cast<uint8_t>(j);
    }
    if (DriveTable.Count == 0) {
        Box("Availalbe drive NOT found!!", kErrorBox);
        vcl::Application.Terminate();
        return;
    }
    for (int i = 0; i < DriveTable.Count; ++i) DriveComboBox->addItem(Text(DriveTable.Entries[i].Name));
    DriveComboBox->setCurrentIndex(0);
    SelectDrive(0);
    CreateTestDirectory();
    ReadSettingsAtStart();
    {
        const BusyScope busy(busy_);
        RefreshChain();
    }
    RandomReadEdit->setText(QStringLiteral("200"));
    SequentialReadEdit->setText(QStringLiteral("1"));
    vcl::SetChecked(OneFunction, true);
}

void TFormTest::CreateTestDirectory() {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%s", here.c_str(), kTestDirectoryName);
    TestDirectory = path;
    const bool there = fs::is_directory(TestDirectory, error) || fs::create_directory(TestDirectory, error);
    if (there) fs::current_path(TestDirectory, error);
    if (!there || error) throw std::runtime_error("Cannot create Test Directory.");
    SettingsPath = TestDirectory + "/" + kSettingsFileName;
}

// The saved screen items and selection are read before anything is written,
// so a close or START keeps what an earlier run saved.
void TFormTest::ReadSettingsAtStart() {
    if (LoadScreenItems()) DriveComboBox->setCurrentIndex(DriveTable.Selected);
}

void TFormTest::RefreshChain() {
    ShowDriveIdentity();
    ClearStatusLabels();
    EnableControls(true);
    RefreshDisc();
}

void TFormTest::RefreshDisc() {
    WaitDiscReady();
    if (Closing()) return;
    ShowDiscInfo();
    IsStartBtnEnable();
}

void TFormTest::ShowDriveIdentity() {
    FullIdentity.clear();
    VendorId.clear();
    ProductId.clear();
    FirmwareVersion.clear();
    std::array<uint8_t, 64> reply{};
    if (drive::Inquiry(CurrentSlot, reply) == drive::kStatusGood) {
        FullIdentity = Field(&reply[8], 28);
        VendorId = Field(&reply[8], 8);
        ProductId = Field(&reply[16], 16);
        FirmwareVersion = Field(&reply[32], 4);
    }
    DrvVendorIDLabel->setText(Text(VendorId));
    DrvProductIDLabel->setText(Text(ProductId));
    DrvFirmwareVerLabel->setText(Text(FirmwareVersion));
}

void TFormTest::SelectDrive(int index) {
    if (index < 0 || index >= DriveTable.Count) return;
    DriveTable.Selected = index;
    CurrentSlot = DriveTable.Entries[index].Slot;
}

void TFormTest::ClearStatusLabels() {
    for (QLabel* label : {DiscTypeLabel, DiscStatusLabel, DiscIDLabel, CapacityLabel, RangeLabel}) label->clear();
    vcl::SetFontColor(StatusLabel, clNavy);
    StatusLabel->clear();
    AddressLabel->clear();
}

void TFormTest::EnableControls(bool enabled) {
    DriveComboBox->setEnabled(enabled);
    CloseBtn->setEnabled(enabled);
    DiscInfoBtn->setEnabled(enabled);
    CloseMenu->setEnabled(enabled);
    LogFileNameEdit->setEnabled(enabled);
    // A run owns the drive and the settings: the write-protection and
    // screen-item commands wait for its end.
    PWPControl->setEnabled(enabled);
    ScreenTestItem1->setEnabled(enabled);
}

// The drive is waited for while it is becoming ready; no disc, or any other
// answer, ends the wait at once.  Then its disc's information is read.  The
// window stays live while it waits; closing it ends the wait, and nothing
// is read then.
bool TFormTest::WaitDiscReady() {
    static constexpr uint16_t kKeepWaiting[] = {drive::kSenseBecomingReady};
    if (Closing()) return false;
    drive::ReadyWait wait;
    wait.PollMs = kDiscWaitPollMs;
    wait.BoundMs = kDiscWaitBoundMs;
    wait.KeepWaiting = kKeepWaiting;
    wait.Pause = [this](uint32_t milliseconds) { return PauseWithEvents(milliseconds); };
    std::array<uint8_t, 256> buffer{};
    if (drive::WaitUntilReady(CurrentSlot, wait, buffer) == drive::ReadyResult::Cancelled) return false;
    return drive::GetDiscInfo(CurrentSlot, Disc);
}

bool TFormTest::PauseWithEvents(uint32_t milliseconds) { return pause_.Run(milliseconds) && !Closing(); }

bool TFormTest::Closing() const { return closing_ || vcl::Application.Terminated(); }

void TFormTest::ShowDiscInfo() {
    if (NoMedium()) {
        DiscTypeLabel->setText(QStringLiteral("DISC NOT READY"));
        DiscStatusLabel->clear();
        DiscIDLabel->clear();
        CapacityLabel->clear();
        return;
    }
    DiscTypeLabel->setText(Text(drive::GetDiscCodeName(Disc.DiscType)));
    DiscStatusLabel->setText(Text(drive::GetDiscStatusName(Disc.Status)));
    DiscIDLabel->setText(Text(Field(reinterpret_cast<const uint8_t*>(Disc.IdentityText), sizeof Disc.IdentityText)));
    CapacityLabel->setText(Text(drive::FormatDiscSize(Disc.Capacity)));
}

void TFormTest::DriveComboBoxChange() {
    if (RefusedWhileBusy()) {
        // The list goes back to the drive the window still uses.
        DriveComboBox->setCurrentIndex(DriveTable.Selected);
        return;
    }
    const BusyScope busy(busy_);
    SelectDrive(DriveComboBox->currentIndex());
    RefreshChain();
}

void TFormTest::DiscInfoBtnClick() {
    if (RefusedWhileBusy()) return;
    const BusyScope busy(busy_);
    RefreshDisc();
}

void TFormTest::AutoRunTimer() {
    if (RefusedWhileBusy()) return;
    drive::GetDiscInfo(CurrentSlot, Disc);
    if (NoMedium()) {
        drive::GetDiscInfo(CurrentSlot, Disc);
        ShowDiscInfo();
        IsStartBtnEnable();
        DiscWasAbsent = 1;
    }
    if (Disc.ErrorCode == 0 && DiscWasAbsent == 1) {
        drive::GetDiscInfo(CurrentSlot, Disc);
        ShowDiscInfo();
        IsStartBtnEnable();
        DiscWasAbsent = 0;
    }
}

void TFormTest::CloseBtnClick() { Close(); }

void TFormTest::FormShow() { closing_ = false; }

void TFormTest::FormCloseQuery(bool& canClose) {
    // A wait or pause of a handler ends here, and the window sends nothing
    // more; the run's worker uses this window to its end.
    closing_ = true;
    pause_.End();
    StopRunAndWait();
    SaveScreenItems();
    canClose = true;
}

void TFormTest::OpenLogFileMenuClick() {
    platform::IShell* shell = platform::Current().Shell;
    std::error_code error;
    if (!TestLogPath.empty() && fs::exists(TestLogPath, error)) {
        shell->ShellExecute(nullptr, "open", "Notepad.exe", TestLogPath.c_str(), SW_SHOWMAXIMIZED);
        return;
    }
    std::string chosen;
    if (vcl::CurrentDialogs().OpenFile(this, "", chosen))
        shell->ShellExecute(this, "open", "Notepad.exe", chosen.c_str(), SW_SHOWMAXIMIZED);
}

void TFormTest::About1Click() { FormAbout->ShowModal(); }

// ---------------------------------------------------------------------------
// DVD-RAM write protection

void TFormTest::PWPControlClick() {
    if (RefusedWhileBusy()) return;
    // From the status read to the refresh the command is the drive's only
    // user: its question and its pause let the event loop run.
    const BusyScope busy(busy_);
    if (Disc.DiscType != drive::kDiscDvdRam) {
        Box("Please Insert RAM Disc", kErrorBox);
        return;
    }
    // Eight bytes travel; a refused command leaves its sense in bytes 2, 12
    // and 13, so the buffer has room past them.
    std::array<uint8_t, 64> status{};
    if (drive::ReadProtectionStatus(CurrentSlot, status) != drive::kStatusGood) {
        Box("ATAPI Command Fail", kErrorBox);
        return;
    }
    Disc.WriteProtected = drive::IsWriteProtected(status) ? 1 : 0;
    if (!PauseWithEvents(kProtectionQuestionDelayMs)) return;
    bool yes = false;
    if (Disc.WriteProtected != 0) {
        yes = Box("This Media is \"Write Protected Status\"\nDo you want to CLEAR PWP bit?", kQuestionBox) ==
              platform::IDYES;
        if (yes) status[4] &= static_cast<uint8_t>(~drive::kPersistentWriteProtect);
    } else {
        yes = Box("This Media is \"Write Permitted Status\"\nDo you want to SET PWP bit?", kQuestionBox) ==
              platform::IDYES;
        if (yes) status[4] |= drive::kPersistentWriteProtect;
    }
    if (yes && drive::SendProtectionStatus(CurrentSlot, status) != drive::kStatusGood) {
        Box("ATAPI Command Fail", kErrorBox);
        return;
    }
    if (drive::ReadProtectionStatus(CurrentSlot, status) != drive::kStatusGood) {
        Box("ATAPI Command Fail", kErrorBox);
        return;
    }
    Disc.WriteProtected = drive::IsWriteProtected(status) ? 1 : 0;
    const bool nowProtected = Disc.WriteProtected != 0;
    if (yes)
        Box(nowProtected ? "Now, This Media is\n\"Write Protected Status\"" : "Now, This Media is\n\"Write Permitted Status\"",
            platform::MB_OK);
    else
        Box(nowProtected ? "This Media is \"Write Protected Status\" yet" : "This Media is \"Write Permitted Status\" yet",
            platform::MB_OK);
    RefreshDisc();
}

// ---------------------------------------------------------------------------
// Screen items and the settings file

void TFormTest::SetDefaultScreenItems(int index) {
    if (index >= 0 && index < kMaxTestDrives) ::SetDefaultScreenItems(DriveTable.Entries[index]);
}

bool TFormTest::SaveScreenItems() { return WriteSettingsFile(SettingsPath, DriveTable); }

bool TFormTest::LoadScreenItems() {
    const SettingsReadResult read = ReadSettingsFile(SettingsPath, DriveTable, true);
    if (read.Status != SettingsRead::Read) return false;
    // A stored drive this machine no longer has is not selected.
    if (read.HasActive && read.Active < DriveTable.Count) SelectDrive(read.Active);
    if (read.Malformed) {
        const std::string notice = MalformedSettingsNotice(KeepSettingsAside(SettingsPath));
        if (!notice.empty()) Box(notice, platform::MB_OK);
    }
    return true;
}

void TFormTest::ScreenTestItem1Click() {
    if (RefusedWhileBusy()) return;
    SaveScreenItems();
    FormScreenItem->LoadDriveTable(DriveTable, SettingsPath, DriveTable.Count);
    if (FormScreenItem->ShowModal() != vcl::mrOk) return;
    if (!LoadScreenItems())
        for (int i = 0; i < DriveTable.Count; ++i) SetDefaultScreenItems(i);
    DriveComboBox->setCurrentIndex(DriveTable.Selected);
    EnableControls(true);
    ShowDiscInfo();
}

void TFormTest::TestSpec1Click() { FormTestSpec->ShowModal(); }

void TFormTest::TestPanel1Click() {
    const bool shown = TestPanel1->isChecked();
    const int height = shown ? kPanelClientHeight : kClientHeight;
    ClientArea->setFixedSize(kClientWidth, height);
    StatusBar1->setGeometry(0, height - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    StartBtn->setVisible(shown);
    StopBtn->setVisible(shown);
}

// ---------------------------------------------------------------------------
// Options

TFormTest::DiscGroup TFormTest::GroupOfDisc(bool protectedRamIsOther) const {
    switch (Disc.DiscType) {
        case drive::kDiscCdRom:
        case drive::kDiscDvdRom:
            return DiscGroup::ReadOnly;
        case drive::kDiscDvdR:
        case drive::kDiscDvdRDl:
        case drive::kDiscDvdPlusR:
        case drive::kDiscDvdPlusRDl:
        case drive::kDiscCdR:
            return DiscGroup::WriteOnce;
        case drive::kDiscDvdRw:
        case drive::kDiscDvdPlusRw:
        case drive::kDiscCdRw:
            return DiscGroup::Rewritable;
        case drive::kDiscDvdRam:
            return protectedRamIsOther && Disc.WriteProtected != 0 ? DiscGroup::Other : DiscGroup::Rewritable;
        default:
            return DiscGroup::Other;
    }
}

void TFormTest::WriteOptionsOff() {
    for (QWidget* w : std::initializer_list<QWidget*>{WriteProperties, PartialWriteRadioBtn, FullWriteRadioBtn, Label7, Label8})
        w->setEnabled(false);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{WriteProperties, PartialWriteRadioBtn, FullWriteRadioBtn})
        vcl::SetChecked(b, false);
}

void TFormTest::ReadOptionsOff() {
    for (QWidget* w : std::initializer_list<QWidget*>{ReadProperties, RandomReadCheckBox, SequentialReadCheckBox,
                                                      RandomReadEdit, SequentialReadEdit})
        w->setEnabled(false);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{ReadProperties, RandomReadCheckBox, SequentialReadCheckBox})
        vcl::SetChecked(b, false);
}

// The choices under each group's box, off; the box itself is left as it is.
void TFormTest::ReadChoicesOff() {
    for (QCheckBox* box : {RandomReadCheckBox, SequentialReadCheckBox}) {
        box->setEnabled(false);
        vcl::SetChecked(box, false);
    }
    RandomReadEdit->setEnabled(false);
    SequentialReadEdit->setEnabled(false);
}

void TFormTest::WriteChoicesOff() {
    for (QWidget* w : std::initializer_list<QWidget*>{PartialWriteRadioBtn, FullWriteRadioBtn, Label7, Label8})
        w->setEnabled(false);
    vcl::SetChecked(PartialWriteRadioBtn, false);
    vcl::SetChecked(FullWriteRadioBtn, false);
}

void TFormTest::IsStartBtnEnable() {
    drive::GetDiscInfo(CurrentSlot, Disc);
    if (NoMedium()) {
        ReadOptionsOff();
        WriteOptionsOff();
        vcl::SetChecked(OneFunction, true);
        StartBtn->setEnabled(true);
        return;
    }
    const DiscGroup group = GroupOfDisc(true);
    if (group == DiscGroup::ReadOnly || (group == DiscGroup::WriteOnce && Disc.Status == drive::DiscFinalized)) {
        ReadProperties->setEnabled(true);
        vcl::SetChecked(ReadProperties, false);
        ReadChoicesOff();
        WriteOptionsOff();
        vcl::SetChecked(OneFunction, true);
        StartBtn->setEnabled(true);
    } else if ((group == DiscGroup::WriteOnce && Disc.Status <= drive::DiscIncomplete) ||
               group == DiscGroup::Rewritable) {
        WriteProperties->setEnabled(true);
        vcl::SetChecked(WriteProperties, false);
        WriteChoicesOff();
        vcl::SetChecked(OneFunction, true);
        StartBtn->setEnabled(true);
        ReadOptionsOff();
    } else if (group == DiscGroup::WriteOnce) {
        ReadOptionsOff();
    } else {
        WriteOptionsOff();
        ReadOptionsOff();
    }
}

void TFormTest::ReadPropertiesClick() {
    WriteOptionsOff();
    for (QCheckBox* box : {RandomReadCheckBox, SequentialReadCheckBox}) {
        box->setEnabled(true);
        vcl::SetChecked(box, false);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{Label17, Label20, RandomReadEdit, SequentialReadEdit})
        w->setEnabled(false);
    StartBtn->setEnabled(false);
}

void TFormTest::WritePropertiesClick() {
    const DiscGroup group = GroupOfDisc(false);
    const auto offer = [this](bool full, bool start) {
        PartialWriteRadioBtn->setEnabled(true);
        Label7->setEnabled(true);
        vcl::SetChecked(PartialWriteRadioBtn, true);
        FullWriteRadioBtn->setEnabled(full);
        Label8->setEnabled(full);
        vcl::SetChecked(FullWriteRadioBtn, false);
        if (start) StartBtn->setEnabled(true);
    };
    if (group == DiscGroup::WriteOnce) {
        if (Disc.Status == drive::DiscIncomplete)
            offer(false, true);
        else if (Disc.Status == drive::DiscBlank)
            offer(true, true);
    } else {
        offer(true, group == DiscGroup::Rewritable);
    }
    ReadOptionsOff();
}

void TFormTest::OneFunctionClick() {
    vcl::SetChecked(ReadProperties, false);
    vcl::SetChecked(WriteProperties, false);
    ReadChoicesOff();
    WriteChoicesOff();
    StartBtn->setEnabled(true);
}

void TFormTest::ReadCheckBoxClick(bool random) {
    QCheckBox* self = random ? RandomReadCheckBox : SequentialReadCheckBox;
    QCheckBox* other = random ? SequentialReadCheckBox : RandomReadCheckBox;
    const bool selfValid = IsValidLoopText((random ? RandomReadEdit : SequentialReadEdit)->text().toStdString());
    const bool otherValid = IsValidLoopText((random ? SequentialReadEdit : RandomReadEdit)->text().toStdString());
    const bool writeEnabled = WriteProperties->isEnabled();
    if (self->isChecked()) {
        if ((other->isChecked() && selfValid && otherValid) || (!other->isChecked() && selfValid))
            StartBtn->setEnabled(true);
        else if (!writeEnabled)
            StartBtn->setEnabled(false);
    } else if (random) {
        if (other->isChecked() && otherValid)
            StartBtn->setEnabled(true);
        else
            StartBtn->setEnabled(writeEnabled);
    } else if (!writeEnabled) {
        StartBtn->setEnabled(other->isChecked() && otherValid);
    }
    (random ? Label17 : Label20)->setEnabled(self->isChecked());
    (random ? RandomReadEdit : SequentialReadEdit)->setEnabled(self->isChecked());
}

void TFormTest::RandomReadCheckBoxClick() { ReadCheckBoxClick(true); }

void TFormTest::SequentialReadCheckBoxClick() { ReadCheckBoxClick(false); }

void TFormTest::EditChange() {
    const auto valid = [](const QLineEdit* edit) { return IsValidLoopText(edit->text().toStdString()); };
    const bool enabledInvalid = (RandomReadEdit->isEnabled() && !valid(RandomReadEdit)) ||
                                (SequentialReadEdit->isEnabled() && !valid(SequentialReadEdit));
    const bool boxesOff = !RandomReadCheckBox->isEnabled() && !SequentialReadCheckBox->isEnabled();
    if ((enabledInvalid || boxesOff) && !WriteProperties->isEnabled()) {
        StartBtn->setEnabled(false);
        return;
    }
    if ((RandomReadEdit->isEnabled() && valid(RandomReadEdit)) ||
        (SequentialReadEdit->isEnabled() && valid(SequentialReadEdit)))
        StartBtn->setEnabled(true);
}

void TFormTest::RandomReadEditChange() { EditChange(); }

void TFormTest::SequentialReadEditChange() { EditChange(); }


// ---------------------------------------------------------------------------
// START, STOP and what a run reports

void TFormTest::StartBtnClick() {
    if (RefusedWhileBusy()) return;
    SaveScreenItems();
    TestLogPath = TestLogPathFor(TestDirectory, LogFileNameEdit->text().toLocal8Bit().toStdString());
    EnableControls(false);
    StartBtn->setEnabled(false);
    StopBtn->setEnabled(true);
    AutoRun->SetEnabled(false);
    ClearStatusLabels();
    WriteLogHeader(TestLogPath, drive::FormatNow(0), FullIdentity, VendorId, ProductId, FirmwareVersion);
    FinishLastRun();
    engine_.reset();
    RunSetup setup;
    setup.Slot = CurrentSlot;
    setup.LogPath = TestLogPath;
    setup.Disc = Disc;
    engine_ = std::make_unique<TestEngine>(std::move(setup), Options, report_);
    runActive_ = true;
    engine_->Start();
}

void TFormTest::StopBtnClick() {
    if (runActive_) engine_->Stop();
}

void TFormTest::ShowRunResult(const std::string& verdict) { Box(verdict, platform::MB_OK); }

void TFormTest::DisplayTimerTimer() {
    if (!engine_) return;
    const TestRunState& run = engine_->State();
    const uint32_t seconds = (win::timeGetTime() - run.StepStartTime) / 1000;
    uint32_t colour = (seconds % 2) != 0 ? clBlue : clNavy;
    if (run.Abort != 0 || run.UserBreak != 0 || run.Fail != 0) colour = clRed;
    vcl::SetFontColor(StatusLabel, colour);
    AddressLabel->setText(QString::fromLatin1(drive::FormatNumber(run.CurrentAddress, 0, 2).c_str()));
    SetProgressBar(run.Progress, progressMax_);
}

void TFormTest::SetProgressBar(uint32_t position, uint32_t maximum) {
    // The bar counts in int: a range past it is shown halved until it fits.
    int shift = 0;
    while ((maximum >> shift) > static_cast<uint32_t>(INT_MAX)) ++shift;
    TestProgressBar->setMaximum(static_cast<int>(maximum >> shift));
    TestProgressBar->setValue(static_cast<int>(std::min(position, maximum) >> shift));
}

void TFormTest::StepBegan() { DisplayTimer->SetEnabled(true); }

void TFormTest::StepEnded() { DisplayTimer->SetEnabled(false); }

void TFormTest::ShowStatus(const std::string& text, uint32_t colour) {
    vcl::SetFontColor(StatusLabel, colour);
    StatusLabel->setText(Text(text));
}

void TFormTest::ClearStatus() { ClearStatusLabels(); }

void TFormTest::ShowRange(uint32_t start, uint32_t end) {
    char text[32];
    std::snprintf(text, sizeof text, "%d ~ %d", static_cast<int32_t>(start), static_cast<int32_t>(end));
    RangeLabel->setText(QString::fromLatin1(text));
}

void TFormTest::ShowProgressMaximum(uint32_t maximum) {
    progressMax_ = maximum;
    SetProgressBar(static_cast<uint32_t>(TestProgressBar->value()), maximum);
}

void TFormTest::ShowProgress(uint32_t position) { SetProgressBar(position, progressMax_); }

void TFormTest::ShowDisc(const drive::DiscRecord& disc) {
    Disc = disc;
    ShowDiscInfo();
}

int TFormTest::AskForDisc(const std::string& prompt) {
    return Box(prompt, platform::MB_OKCANCEL | platform::MB_SYSTEMMODAL);
}

// The run has sent its last drive command: the drive is the window's again.
void TFormTest::RunEnded(const std::string& verdict) {
    runActive_ = false;
    // The window's own refresh follows at once, before anything else of it.
    const BusyScope busy(busy_);
    AutoRun->SetEnabled(true);
    DisplayTimer->SetEnabled(false);
    ShowRunResult(verdict);
    EnableControls(true);
    StopBtn->setEnabled(false);
    RefreshDisc();
}
