// The splash window: borderless, 497 x 497, centred on the screen, with the
// program's 500 x 500 picture.  Shown once at start-up and released.
#pragma once

#include <string>

#include "ui_TFormMain.h"
#include "vcl/Forms.h"

class TFormMain : public vcl::TForm, public Ui::TFormMain {
public:
    explicit TFormMain(vcl::TForm* owner);
    ~TFormMain() override;
    std::string ClassName() const override { return "TFormMain"; }
};

extern TFormMain* FormMain;
