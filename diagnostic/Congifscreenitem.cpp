#include "diagnostic/Congifscreenitem.h"

#include <algorithm>

#include "diagnostic/Settings.h"
#include "platform/Win.h"
#include "vcl/Controls.h"

TFormScreenItem* FormScreenItem = nullptr;

TFormScreenItem::TFormScreenItem(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    SetPosition(vcl::TPosition::OwnerCenter);
    vcl::OnClick(SaveBtn, [this] { SaveBtnClick(); });
    vcl::OnClick(CancelBtn, [this] { CancelBtnClick(); });
}

std::array<QCheckBox*, 11> TFormScreenItem::CheckBoxes() const {
    return {CDReadCheckBox, CDRCheckBox,    CDRWCheckBox,    DVDROMCheckBox, DVDRCheckBox,  DVDRWCheckBox,
            DVDRDLCheckBox, DVDPRCheckBox, DVDPRWCheckBox, DVDPRDLCheckBox, DVDRAMCheckBox};
}

void TFormScreenItem::LoadDriveTable(const TestDriveTable& table, const std::string& settingsPath, int count) {
    Drives = table;
    Drives.Count = std::clamp(count, 0, kMaxTestDrives);
    ActiveDrive = table.Selected;
    SettingsPath = settingsPath;
}

void TFormScreenItem::FormActivate() {
    const SettingsReadResult read = ReadSettingsFile(SettingsPath, Drives, false);
    if (read.Status != SettingsRead::Read) return;
    // An index of a drive this table does not have is not taken.
    if (read.HasActive && read.Active < Drives.Count) ActiveDrive = read.Active;
    if (read.Malformed) {
        const std::string notice = MalformedSettingsNotice(KeepSettingsAside(SettingsPath));
        if (!notice.empty()) win::MessageBoxA(this, notice, "MESSAGE", platform::MB_OK);
    }
    ShowCheckStates();
}

void TFormScreenItem::ShowCheckStates() {
    if (ActiveDrive < 0 || ActiveDrive >= Drives.Count) return;
    const ScreenItemTable& table = Drives.Entries[ActiveDrive].TableB;
    const auto boxes = CheckBoxes();
    for (size_t i = 0; i < boxes.size(); ++i) vcl::SetChecked(boxes[i], table[kScreenCheckRecords[i]].Flag0 != 0);
}

void TFormScreenItem::SaveBtnClick() {
    if (ActiveDrive >= 0 && ActiveDrive < Drives.Count) {
        ScreenItemTable& table = Drives.Entries[ActiveDrive].TableB;
        const auto boxes = CheckBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) table[kScreenCheckRecords[i]].Flag0 = boxes[i]->isChecked() ? 1 : 0;
    }
    TestDriveTable written = Drives;
    written.Selected = ActiveDrive;
    if (!WriteSettingsFile(SettingsPath, written)) {
        SetModalResult(vcl::mrCancel);
        return;
    }
    SetModalResult(vcl::mrOk);
}

void TFormScreenItem::CancelBtnClick() { Close(); }
