#include "download/Pelmoraengineeroption.h"

#include "download/Atapilib.h"
#include "download/Pelmoramain.h"
#include "drive/Transport.h"

TFormEngOption* FormEngOption = nullptr;

TFormEngOption::TFormEngOption(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
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

void TFormEngOption::CancelBtnClick() { Close(); }
