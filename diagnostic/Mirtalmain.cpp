#include "diagnostic/Mirtalmain.h"

#include <QPixmap>

TFormMain* FormMain = nullptr;

TFormMain::TFormMain(vcl::TForm* owner) : vcl::TForm(owner) {
    setupUi(this);
    SetBorderless(true);
    SetPosition(vcl::TPosition::ScreenCenter);
    SetClientSize(497, 497);
    Image1->setPixmap(QPixmap(QStringLiteral(":/corvan/Splash.bmp")));
}

// Released after its one showing: the global must not outlive it.
TFormMain::~TFormMain() {
    if (FormMain == this) FormMain = nullptr;
}
