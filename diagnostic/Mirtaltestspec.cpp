#include "diagnostic/Mirtaltestspec.h"

TFormTestSpec* FormTestSpec = nullptr;

TFormTestSpec::TFormTestSpec(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    SetPosition(vcl::TPosition::ScreenCenter);
    vcl::OnClick(OkBitBtn, [this] { OkBitBtnClick(); });
}

void TFormTestSpec::OkBitBtnClick() { SetModalResult(vcl::mrOk); }

void TFormTestSpec::OkBtnClick() { SetModalResult(vcl::mrOk); }
