#include "diagnostic/Mirtalabout.h"

#include <QPixmap>

TFormAbout* FormAbout = nullptr;

TFormAbout::TFormAbout(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    SetPosition(vcl::TPosition::ScreenCenter);
    Image1->setPixmap(QPixmap(QStringLiteral(":/corvan/Icon.png")));
    vcl::OnClick(OkBitBtn, [this] { OkBitBtnClick(); });
}

void TFormAbout::FormCreate() {
    VersionLabel->setText(QStringLiteral("Version : ") + QString::fromLatin1(kProgramVersion));
    DateLabel->setText(QStringLiteral("Date : ") + QString::fromLatin1(kProgramDate));
}

void TFormAbout::OkBitBtnClick() { SetModalResult(vcl::mrOk); }
