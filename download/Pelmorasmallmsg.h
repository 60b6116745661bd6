// The message window: a borderless, rounded, skinned modal box with one text
// (Label1) and an OK button.  Made for each message and freed afterwards.
#pragma once

#include <string>

#include "ui_TFormMsg.h"
#include "vcl/Forms.h"
#include "vcl/Graphics.h"

class TFormMsg : public vcl::TForm, public Ui::TFormMsg {
public:
    // korean: the texts and glyphs of the main window's language.
    TFormMsg(vcl::TForm* owner, bool korean);
    std::string ClassName() const override { return "TFormMsg"; }

    void SpeedButtonOkClick();
    void ImageMsgMouseDown();
    void ImageMsgMouseMove();
    // Type 2 is the OK button; index 0 normal, 1 hover.
    void SetButtonGlyph(int type, int index);

    bool Korean = false;
    int HoveredButton = 0;
    // Korean normal, Korean hover, English normal, English hover (61 by 22).
    vcl::TImageList ImageListOk;

protected:
    void FormCreate() override;
    void FormShow() override;
};

// Declared as the class library declares every form; the window is made per
// use, so this stays empty.
extern TFormMsg* FormMsg;
