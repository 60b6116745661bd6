// The caution window shown before an interactive download: the shared frame
// with the caution text.  Either button just closes it; its result is not
// looked at.
#pragma once

#include <string>

#include "download/Pelmoraframe.h"
#include "ui_TFormCaution.h"

class TFormCaution : public TPelmoraFrame<Ui::TFormCaution> {
public:
    using TPelmoraFrame::TPelmoraFrame;
    std::string ClassName() const override { return "TFormCaution"; }

    void SetCautionText();

protected:
    void FormCreate() override;
};

// Declared as the class library declares every form; the window is made per
// use, so this stays empty.
extern TFormCaution* FormCaution;
