#include "download/Pelmorasmallmsg.h"

TFormMsg* FormMsg = nullptr;

TFormMsg::TFormMsg(vcl::TForm* owner, bool korean) : vcl::TForm(owner), Korean(korean) {
    setupUi(this);
    SetBorderless(true);
    SetStayOnTop(true);
    SetPosition(vcl::TPosition::OwnerCenter);
    vcl::MakeSpeedButton(SpeedButtonOk);
    ImageListOk = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListOk"), 4, 61, 22);
    vcl::OnClick(SpeedButtonOk, [this] { SpeedButtonOkClick(); });
    vcl::OnMouseDown(ImageMsg, [this](int, int) { ImageMsgMouseDown(); });
    vcl::OnMouseMove(ImageMsg, [this](int, int) { ImageMsgMouseMove(); });
}

void TFormMsg::FormCreate() {
    SetClientSize(286, 163);
    SetRoundRectRegion(286, 163, 9, 9);
    HoveredButton = 0;
    vcl::SetGlyph(SpeedButtonOk, ImageListOk.GetBitmap(Korean ? 0 : 2));
}

void TFormMsg::SpeedButtonOkClick() { Close(); }

void TFormMsg::ImageMsgMouseDown() { BeginSystemMove(); }

// The OK button has no hover handler, so nothing is ever hovered here and the
// glyph stays normal; the rule is the one of the other windows all the same.
void TFormMsg::ImageMsgMouseMove() { SetButtonGlyph(HoveredButton, 0); }

void TFormMsg::SetButtonGlyph(int type, int index) {
    if (type == 2) vcl::SetGlyph(SpeedButtonOk, ImageListOk.GetBitmap(index + (Korean ? 0 : 2)));
    HoveredButton = index == 1 ? type : 0;
}

void TFormMsg::FormShow() {}
