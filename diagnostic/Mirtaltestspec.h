// The test procedure sheet: fixed text describing the test procedures,
// shown modally from the test window's Test menu.
#pragma once

#include <string>

#include "ui_TFormTestSpec.h"
#include "vcl/Forms.h"

class TFormTestSpec : public vcl::TForm, public Ui::TFormTestSpec {
public:
    explicit TFormTestSpec(vcl::TForm* owner);
    std::string ClassName() const override { return "TFormTestSpec"; }

    void OkBitBtnClick();
    void OkBtnClick();
};

extern TFormTestSpec* FormTestSpec;
