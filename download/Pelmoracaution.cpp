#include "download/Pelmoracaution.h"

TFormCaution* FormCaution = nullptr;

namespace {

const char kCautionKorean[] =
    "* 당사의 펌웨어 업그레이드 과정은 업그레이드 진행시 PC가 자동으로\n"
    "재 부팅한 후 전체 업그레이드 과정이 완료 하도록 구성되어 있습니다.\n\n"
    "따라서 업그레이드가 진행되는 도중에는 PC 전원을 강제로 끄지\n"
    "마십시요.\n\n"
    "혹 펌웨어 업그레이드 후 ODD가 정상적으로 동작하지 않을 경우 \n"
    "펌웨어 업그레이드 과정을 다시 진행하시면 정상적인 사용이\n"
    "가능합니다. \n";

const char kCautionEnglish[] =
    "* The firmware upgrade process of this company is organized so that\n"
    "the entire upgrade process is completed after the PC is automatically\n"
    "rebooted.\n\n"
    "Therefore, do not turn off the PC power supply by force while \n"
    "the upgrade is in progress.\n\n"
    "If the ODD does not operate normally after the firmware upgrade,\n"
    "normal use will be possible if you proceed with the firmware \n"
    "upgrade process again.\n";

}  // namespace

void TFormCaution::FormCreate() {
    TPelmoraFrame::FormCreate();
    SetCautionText();
}

void TFormCaution::SetCautionText() {
    LabelCaution->setText(QString::fromUtf8(Korean ? kCautionKorean : kCautionEnglish));
}
