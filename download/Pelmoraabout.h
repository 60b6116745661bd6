// The about box behind the main window's help button: the shared frame with
// the program's name, version and date.  Made at start-up and shown again
// each time.
#pragma once

#include <string>

#include "download/Pelmoraframe.h"
#include "ui_TFormAbout.h"

class TFormAbout : public TPelmoraFrame<Ui::TFormAbout> {
public:
    using TPelmoraFrame::TPelmoraFrame;
    std::string ClassName() const override { return "TFormAbout"; }

    void FormShow() override;
};

extern TFormAbout* FormAbout;
