// The engineer-option window: a framed dialog that sets the option bits only
// it can set and shows the drive's checksums.  Made at start-up, shown
// modeless against the main window's right edge.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadTypes.h"
#include "ui_TFormEngOption.h"
#include "vcl/Forms.h"

class TFormEngOption : public vcl::TForm, public Ui::TFormEngOption {
public:
    explicit TFormEngOption(vcl::TForm* owner);
    std::string ClassName() const override { return "TFormEngOption"; }

    void FormShow() override;
    // Shows the program, boot and parameter area checksums of the drive.
    void BtnRefreshClick();
    // Hands the options to the main window once the drive has taken the
    // boot-rewrite setting; a refusal leaves the main window's options alone.
    void BtnApplyClick();
    void OKBtnClick();
    void CancelBtnClick();

    // Working copies of the main window's.
    uint8_t DriveIndex = 0;
    OptionFlags Options = 0;
};

extern TFormEngOption* FormEngOption;
