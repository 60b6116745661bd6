// The caution window shown before an interactive download: borderless,
// rounded, with the caution text, OK and the frame's close button.  Either
// button just closes it; its result is not looked at.
#pragma once

#include <string>

#include "ui_TFormCaution.h"
#include "vcl/Forms.h"
#include "vcl/Graphics.h"

class TFormCaution : public vcl::TForm, public Ui::TFormCaution {
public:
    // korean: the texts and glyphs of the main window's language.
    TFormCaution(vcl::TForm* owner, bool korean);
    std::string ClassName() const override { return "TFormCaution"; }

    void SetCautionText();
    // Type 1 the close button, 2 the OK button; index 0 normal, 1 hover.
    void SetButtonGlyph(int type, int index);

    void SpeedButtonOkClick();
    void SpeedButtonCancelClick();
    void ImageAboutMouseDown();
    void ImageAboutMouseMove();
    void SpeedButtonOkMouseMove();
    void SpeedButtonCancelMouseMove();

    bool Korean = false;
    int HoveredButton = 0;
    // Korean normal, Korean hover, English normal, English hover (61 by 22).
    vcl::TImageList ImageListOk;
    // Normal, hover (44 by 20).
    vcl::TImageList ImageListCancel;

protected:
    void FormCreate() override;
};

// Declared as the class library declares every form; the window is made per
// use, so this stays empty.
extern TFormCaution* FormCaution;
