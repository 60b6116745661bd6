// The frame that the caution window and the about box share: borderless,
// cut to 456 by 243 with rounded corners, a picture that drags the window,
// an OK button and the frame's close button, both of which just close it,
// and the hover glyphs of those two buttons.
#pragma once

#include <QString>

#include "vcl/Forms.h"
#include "vcl/Graphics.h"

template <typename Layout>
class TPelmoraFrame : public vcl::TForm, public Layout {
public:
    static constexpr int kWidth = 456;
    static constexpr int kHeight = 243;
    static constexpr int kCornerSize = 9;
    // Button type codes of SetButtonGlyph.
    static constexpr int kCloseButton = 1;
    static constexpr int kOkButton = 2;

    // korean: the glyphs (and texts) of the main window's language.
    TPelmoraFrame(vcl::TForm* owner, bool korean) : vcl::TForm(owner), Korean(korean) {
        this->setupUi(this);
        SetBorderless(true);
        SetPosition(vcl::TPosition::OwnerCenter);
        vcl::MakeSpeedButton(this->SpeedButtonOk);
        vcl::MakeSpeedButton(this->SpeedButtonCancel);
        ImageListOk = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListOk"), 4, 61, 22);
        ImageListCancel = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListCancel"), 2, 44, 20);
        vcl::OnClick(this->SpeedButtonOk, [this] { SpeedButtonOkClick(); });
        vcl::OnClick(this->SpeedButtonCancel, [this] { SpeedButtonCancelClick(); });
        vcl::OnMouseDown(this->ImageAbout, [this](int, int) { ImageAboutMouseDown(); });
        vcl::OnMouseMove(this->ImageAbout, [this](int, int) { ImageAboutMouseMove(); });
        vcl::OnMouseMove(this->SpeedButtonOk, [this](int, int) { SpeedButtonOkMouseMove(); });
        vcl::OnMouseMove(this->SpeedButtonCancel, [this](int, int) { SpeedButtonCancelMouseMove(); });
    }

    // Type 1 the close button, 2 the OK button; index 0 normal, 1 hover.
    void SetButtonGlyph(int type, int index) {
        if (type == kCloseButton) vcl::SetGlyph(this->SpeedButtonCancel, ImageListCancel.GetBitmap(index));
        if (type == kOkButton)
            vcl::SetGlyph(this->SpeedButtonOk, ImageListOk.GetBitmap(index + (Korean ? 0 : 2)));
        HoveredButton = index == 1 ? type : 0;
    }

    void SpeedButtonOkClick() { Close(); }
    void SpeedButtonCancelClick() { Close(); }
    void ImageAboutMouseDown() { BeginSystemMove(); }
    void ImageAboutMouseMove() { SetButtonGlyph(HoveredButton, 0); }
    void SpeedButtonOkMouseMove() { SetButtonGlyph(kOkButton, 1); }
    void SpeedButtonCancelMouseMove() { SetButtonGlyph(kCloseButton, 1); }

    bool Korean = false;
    int HoveredButton = 0;
    // Korean normal, Korean hover, English normal, English hover (61 by 22).
    vcl::TImageList ImageListOk;
    // Normal, hover (44 by 20).
    vcl::TImageList ImageListCancel;

protected:
    void FormCreate() override {
        SetClientSize(kWidth, kHeight);
        SetRoundRectRegion(kWidth, kHeight, kCornerSize, kCornerSize);
        HoveredButton = 0;
        vcl::SetGlyph(this->SpeedButtonOk, ImageListOk.GetBitmap(Korean ? 0 : 2));
    }
};
