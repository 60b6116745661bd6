// The about box: the program's name, version and date; shown modally from
// the test window's Help menu.
#pragma once

#include <string>

#include "ui_TFormAbout.h"
#include "vcl/Forms.h"

inline constexpr const char* kProgramVersion = "d.01.0";
inline constexpr const char* kProgramDate = "2009.11.05";

class TFormAbout : public vcl::TForm, public Ui::TFormAbout {
public:
    explicit TFormAbout(vcl::TForm* owner);
    std::string ClassName() const override { return "TFormAbout"; }

    void OkBitBtnClick();

protected:
    void FormCreate() override;
};

extern TFormAbout* FormAbout;
