#include "download/Pelmoraengineeroption.h"

#include <cstdio>

#include "download/Atapilib.h"
#include "download/Fwlib.h"
#include "download/Pelmoramain.h"
#include "drive/Transport.h"
#include "platform/Win.h"

TFormEngOption* FormEngOption = nullptr;

namespace {

void ShowError(const TFormEngOption* owner, const char* text) {
    win::MessageBoxA(owner, text, "Error", platform::MB_OK);
}

// "%02X" of the big-endian 16-bit value at reply[0..1].
QString Checksum(const uint8_t* reply) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", (reply[0] << 8) | reply[1]);
    return QString::fromLatin1(text);
}

}  // namespace

TFormEngOption::TFormEngOption(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    vcl::OnClick(BtnRefresh, [this] { BtnRefreshClick(); });
    vcl::OnClick(BtnApply, [this] { BtnApplyClick(); });
    vcl::OnClick(OKBtn, [this] { OKBtnClick(); });
    vcl::OnClick(CancelBtn, [this] { CancelBtnClick(); });
}

void TFormEngOption::FormShow() {
    if (MainForm == nullptr) return;
    move(MainForm->x() + MainForm->width(), MainForm->y());
    DriveIndex = MainForm->DriveIndex;
    Options = MainForm->Options;
    ChkNoCheck->setChecked((Options & OptNoCheck) != 0);
    uint8_t reply[kVendorReplyLength] = {};
    CheckBoxBootRewrite->setChecked(AtapiLib.GetDownloadMode(DriveIndex, reply) == drive::kStatusGood &&
                                    BootRewriteIsOn(reply));
    QRadioButton* item = RadioGroupFwDrvOption_0;
    if ((Options & OptForceSuffix) != 0)
        item = RadioGroupFwDrvOption_1;
    else if ((Options & OptForceNonSuffix) != 0)
        item = RadioGroupFwDrvOption_2;
    item->setChecked(true);
}

void TFormEngOption::BtnRefreshClick() {
    uint8_t reply[kVendorReplyLength] = {};
    if (AtapiLib.ReadChecksums(DriveIndex, reply) != drive::kStatusGood) {
        ShowError(this, "Command Error");
        return;
    }
    EditProgram->setText(Checksum(reply));
    EditBoot->setText(Checksum(reply + 2));
    EditParam->setText(Checksum(reply + 4));
}

void TFormEngOption::BtnApplyClick() {
    auto setBit = [this](OptionFlags bit, bool on) {
        Options = static_cast<OptionFlags>(on ? Options | bit : Options & ~bit);
    };
    setBit(OptNoCheck, ChkNoCheck->isChecked());
    setBit(OptBootRewrite, CheckBoxBootRewrite->isChecked());
    if (FwLib.ApplyBootRewriteOption(DriveIndex, Options) != drive::kStatusGood) {
        ShowError(this, "Set Download Mode Command Error");
        return;
    }
    setBit(OptForceSuffix, RadioGroupFwDrvOption_1->isChecked());
    setBit(OptForceNonSuffix, RadioGroupFwDrvOption_2->isChecked());
    if (MainForm == nullptr) return;
    MainForm->Options = Options;
    MainForm->ShowOptionLabels();
}

void TFormEngOption::OKBtnClick() {
    BtnApplyClick();
    Close();
}

void TFormEngOption::CancelBtnClick() { Close(); }
