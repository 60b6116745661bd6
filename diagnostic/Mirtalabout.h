// The about box: the program's name, version and date; shown modally from
// the test window's Help menu.
#pragma once

#include <string>

#include "diagnostic/Version.h"
#include "ui_TFormAbout.h"
#include "vcl/Forms.h"


class TFormAbout : public vcl::TForm, public Ui::TFormAbout {
public:
    explicit TFormAbout(vcl::TForm* owner);
    std::string ClassName() const override { return "TFormAbout"; }

    void OkBitBtnClick();

protected:
    void FormCreate() override;
};

extern TFormAbout* FormAbout;
