// The screen-item dialog: the media of the active drive's screen table, one
// check box each.  It works on its own copy of the test window's drive
// table, re-reads the settings file whenever it becomes active and writes it
// on Save.  Created first at start-up, so it is the application's main
// window, but shown only by the test window's screen-item command.
#pragma once

#include <array>
#include <string>

#include "diagnostic/ScreenItems.h"
#include "ui_TFormScreenItem.h"
#include "vcl/Forms.h"

class QCheckBox;

class TFormScreenItem : public vcl::TForm, public Ui::TFormScreenItem {
public:
    explicit TFormScreenItem(vcl::TForm* owner);
    std::string ClassName() const override { return "TFormScreenItem"; }

    // The dialog's copy of the drive table (with its count), the active
    // drive and the settings file.
    TestDriveTable Drives;
    int ActiveDrive = 0;
    std::string SettingsPath;

    // Takes the test window's table, the settings path and the entry count;
    // the active drive starts as the test window's selection.
    void LoadDriveTable(const TestDriveTable& table, const std::string& settingsPath, int count);
    void ShowCheckStates();
    void SaveBtnClick();
    void CancelBtnClick();

    // The eleven boxes in the order of kScreenCheckRecords.
    std::array<QCheckBox*, 11> CheckBoxes() const;

protected:
    void FormActivate() override;
};

extern TFormScreenItem* FormScreenItem;
