#include "download/Pelmoramain.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "download/Atapilib.h"
#include "download/FirmwareFile.h"
#include "download/Fwlib.h"
#include "download/Pelmoraabout.h"
#include "download/Pelmoracaution.h"
#include "download/Pelmoraengineeroption.h"
#include "download/Pelmorasmallmsg.h"
#include "download/Pelmorathread.h"
#include "drive/Transport.h"
#include "platform/Win.h"
#include "vcl/Dialogs.h"
#include "vcl/Picture.h"

TMainForm* MainForm = nullptr;
std::string StartupFileName;

namespace {

// A text in both languages.
struct Text {
    const char* Korean;
    const char* English;
};

constexpr Text kDriveNotFound = {"드라이브를 찾을 수 없습니다.", "Drive not found."};
constexpr Text kLoginAsAdministrator = {
    " 정상적인 펌웨어 업데이트를 위해서는 \n\n 관리자 계정으로 로그인 하셔야 합니다. ",
    " Please login as 'Administrator' \n\n to change the firmware in the drive."};
constexpr Text kNotAnAdministrator = {"관리자 권한이 아닙니다.", "User should be an admin."};
constexpr Text kDriveChanged = {"드라이브가 변경되었습니다.\n", "Change Drive\n"};
constexpr Text kReady = {"준비", "Ready"};
constexpr Text kNoFileOpened = {"선택된 파일이 없습니다.", "Not Opened"};
constexpr Text kFileForgotten = {"선택된 파일이 없습니다.", "Not Open"};
constexpr Text kFileOpenFail = {"파일 열기 실패 !!\n", "File Open Fail (No Flash File) !!\n"};
constexpr Text kRemoveDisc = {"드라이브에서 디스크를 꺼내주십시요. ", "Remove the Disc in the Drive !!"};
constexpr Text kNotCompatibleContact = {
    " 펌웨어 파일이 선택된 드라이브에\n 적합하지 않습니다.\n 드라이브 업체에 문의하시길 바랍니다.",
    "This Firmware is not compatible with the \nselected drive.Contact your system\n"
    "manufacturer for information on firmware \nupdates available for this drive."};
constexpr Text kNotCompatible = {" 펌웨어 파일이 선택된 드라이브에\n 적합하지 않습니다.",
                                 "This Firmware is not compatible\n with the selected drive."};
constexpr Text kFileNotOpened = {"선택된 파일이 없습니다.", "File Not Opened!!"};
constexpr Text kOldVersion = {" 구 버젼입니다.", " Old Version Opened!!"};
constexpr Text kFlashCmdFail = {"플래시 커맨드 실패!!", "Flash Cmd Fail!!"};
constexpr Text kDownloadOkRestart = {"다운로드를 성공했습니다.\n컴퓨터를 재시동합니다.",
                                     "Download OK!!\nRestart WINDOWS"};
constexpr Text kDownloadFailRestart = {"다운로드를 실패했습니다.\n컴퓨터를 재시동합니다.",
                                       "Download Fail!!\nRestart WINDOWS"};

constexpr const char* kAutoRunFile = "AUTORUN.BIN";
constexpr const char* kMessageCaption = "MESSAGE";

constexpr uint32_t kBarColor = 0x00B56800;
constexpr int kWindowWidth = 517;
constexpr int kWindowHeight = 384;
constexpr int kCornerSize = 9;
constexpr uint32_t kAutorunIntervalMs = 1000;
constexpr uint32_t kDriveInfoPauseMs = 100;
constexpr std::size_t kReplySize = 512;
constexpr uint32_t kInquiryLength = 96;
constexpr uint8_t kEjectByte4 = 2;

// Hover type codes.
constexpr int kHelpButton = 1;
constexpr int kExitButton = 2;
constexpr int kSearchButton = 4;
constexpr int kDownButton = 8;

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

void RemoveIfExists(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(path, error);
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

TMainForm::TMainForm(vcl::TForm* owner, const std::string& skinPicture) : vcl::TForm(owner) {
    setupUi(this);
    LoadSkinPicture(skinPicture);
    SetBorderless(true);
    SetStayOnTop(true);
    SetPosition(vcl::TPosition::ScreenCenter);
    SetKeyPreview(true);
    for (QToolButton* button : {SpeedButtonSearch, SpeedButtonDown, SpeedButtonHelp, SpeedButtonExit})
        vcl::MakeSpeedButton(button);
    ImageListSearchDownKr =
        vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListSearchDownKr"), 4, 61, 20);
    ImageListSearch_en = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListSearch_en"), 2, 61, 20);
    ImageListDown_en = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListDown_en"), 2, 70, 20);
    ImageListHelp = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListHelp"), 2, 27, 19);
    ImageListExit = vcl::TImageList::FromResources(QStringLiteral("pelmora/ImageListExit"), 2, 43, 19);

    TimerAutorun = std::make_unique<vcl::TTimer>();
    TimerAutorun->SetEnabled(false);
    TimerAutorun->SetInterval(kAutorunIntervalMs);
    TimerAutorun->OnTimer = [this] { TimerAutorunTimer(); };

    vcl::OnClick(SpeedButtonSearch, [this] { SpeedButtonSearchClick(); });
    vcl::OnClick(SpeedButtonDown, [this] { SpeedButtonDownClick(); });
    vcl::OnClick(SpeedButtonHelp, [this] { SpeedButtonHelpClick(); });
    vcl::OnClick(SpeedButtonExit, [this] { SpeedButtonExitClick(); });
    vcl::OnClick(ButtonOption, [this] { ButtonOptionClick(); });
    vcl::OnClick(Button1, [this] { Button1Click(); });
    // The list's change event comes from the user's choice only, also when
    // the chosen line is the selected one.
    QObject::connect(ComboBoxDrv, &QComboBox::activated, this,
                     [this](int) { vcl::Guard([this] { ComboBoxDrvChange(); }); });
    vcl::OnMouseMove(SpeedButtonDown, [this](int, int) { SpeedButtonDownMouseMove(); });
    vcl::OnMouseMove(SpeedButtonHelp, [this](int, int) { SpeedButtonHelpMouseMove(); });
    vcl::OnMouseMove(SpeedButtonExit, [this](int, int) { SpeedButtonExitMouseMove(); });
    vcl::OnMouseMove(SpeedButtonSearch, [this](int, int) { SpeedButtonSearchMouseMove(); });
    vcl::OnMouseMove(ImageMain, [this](int, int) { ImageMainMouseMove(); });
    vcl::OnMouseDown(ImageMain, [this](int, int) { ImageMainMouseDown(); });
    vcl::OnMouseDown(this, [this](int, int) { FormMouseDown(); });
}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate() {
    Korean = SysFun.IsKoreanLocale() ? 1 : 0;
    InitSkin();
    InitState();
    AutoRun = IsRegularFile(FileName) ? 1 : 0;
    ParseCommandLine();
    SearchDrives();
    LabelTarDrvInfo->setText(ComboBoxDrv->currentText());
    ReadDriveInfo(DriveIndex);
    StartedUnattended = UnattendedStart();
    if (UnattendedStart() && State != StateNoDrive) UnattendedOpen();
    ShowOptionLabels();
    ButtonOption->setVisible(false);
    if (UnattendedStart()) UnattendedFinish();
    StartupFileName = FileName;
}

void TMainForm::InitState() {
    Busy = false;
    FileName = kAutoRunFile;
    BootCode = 0;
    CodeFromQuery = 0;
    FileSize = 0;
    State = StateOk;
}

// ---------------------------------------------------------------------------
// Drives

uint8_t TMainForm::SearchDrives() {
    uint8_t found = AtapiLib.FindDrives();
    const bool admin = CheckAuthority() != 0;
    if (!admin) found = 0;
    ComboBoxDrv->clear();
    DriveSlots.clear();
    if (found == 0) {
        State = StateNoDrive;
        WriteLog("E3");
        if (admin) {
            SetInfoText(0, kDriveNotFound.Korean, kDriveNotFound.English);
        } else {
            ShowMsg(kLoginAsAdministrator.Korean, kLoginAsAdministrator.English);
            SetInfoText(0, kNotAnAdministrator.Korean, kNotAnAdministrator.English);
        }
    }
    for (int slot = 0; slot < found; ++slot) {
        uint8_t reply[kReplySize] = {};
        if (AtapiLib.Inquiry(static_cast<uint8_t>(slot), reply, kInquiryLength) != drive::kStatusGood) continue;
        // Vendor, product and revision: the 28 characters from byte 8.
        reply[36] = 0;
        const std::string line(reinterpret_cast<const char*>(reply + 8));
        SetInfoText(0, line, line);
        DriveSlots.push_back(static_cast<uint8_t>(slot));
    }
    DriveIndex = SlotOfLine(0);
    ComboBoxDrv->setCurrentIndex(0);
    return static_cast<uint8_t>(DriveSlots.size());
}

uint8_t TMainForm::SlotOfLine(int line) const {
    if (line >= 0 && static_cast<std::size_t>(line) < DriveSlots.size())
        return DriveSlots[static_cast<std::size_t>(line)];
    return static_cast<uint8_t>(std::clamp(line, 0, drive::kSlotCount - 1));
}

uint8_t TMainForm::ReadDriveInfo(uint8_t slot) {
    uint8_t reply[kReplySize] = {};
    CodeFromQuery = 0;
    if (AtapiLib.ReadDriveCode(slot, reply) == drive::kStatusGood && DriveCodeQueryAnswered(reply)) {
        std::memcpy(DriveIdentity.Code, reply + 4, kCodeLength);
        CodeFromQuery = 1;
    }
    win::Sleep(kDriveInfoPauseMs);
    // A failed INQUIRY leaves what the buffer held; drives without the
    // identity query are normal.
    AtapiLib.Inquiry(slot, reply, kInquiryLength);
    std::memcpy(DriveIdentity.Model, reply + 8, kModelLength);
    std::memcpy(DriveIdentity.Revision, reply + 32, kRevisionLength);
    if (CodeFromQuery == 0) std::memcpy(DriveIdentity.Code, reply + 36, kCodeLength);
    UpperCaseAscii(DriveIdentity.Code, kCodeLength);
    std::memcpy(DriveIdentity.FcCode, reply + 54, sizeof DriveIdentity.FcCode);
    return 1;
}

void TMainForm::SelectDriveLine(int line) {
    ComboBoxDrv->setCurrentIndex(line);
    LabelTarDrvInfo->setText(ComboBoxDrv->currentText());
}

uint8_t TMainForm::CheckAuthority() { return HasDownloadAuthority() ? 1 : 0; }

// ---------------------------------------------------------------------------
// Texts of the window

void TMainForm::SetInfoText(int slot, const std::string& korean, const std::string& english) {
    const QString text = QString::fromUtf8(Korean != 0 ? korean : english);
    QLabel* label = nullptr;
    switch (slot) {
        case 0: ComboBoxDrv->addItem(text); return;
        case 1: label = StaticTextDnFileInfo; break;
        case 2: label = LabelTarDrvInfo; break;
        case 3: label = LabelCurVerInfo; break;
        case 4: label = LabelNewVerInfo; break;
        case 5: label = LabelStatusInfo; break;
        default: return;
    }
    label->setText(text);
}

void TMainForm::ShowVersions() {
    SetInfoText(3, DriveIdentity.Revision, DriveIdentity.Revision);
    SetInfoText(4, FileIdentity.Revision, FileIdentity.Revision);
    const std::string name = UpperCased(FileName.substr(FileName.find_last_of("/\\") + 1));
    const std::string file = name + " (" + std::to_string(FileSize / 1024) + " K)";
    SetInfoText(1, file, file);
    SetInfoText(5, kReady.Korean, kReady.English);
}

void TMainForm::ClearFileInfo() {
    for (int slot : {3, 4, 1}) SetInfoText(slot, " ", " ");
    SetInfoText(1, kFileForgotten.Korean, kFileForgotten.English);
    FileSize = 0;
}

void TMainForm::ShowOptionLabels() {
    LabelNoChk->setVisible((Options & OptNoCheck) != 0);
    LabelBootRewrite->setVisible((Options & OptBootRewrite) != 0);
    LabelForceNonSuffix->setVisible((Options & OptForceNonSuffix) != 0);
    LabelForceSuffix->setVisible((Options & OptForceSuffix) != 0);
}

// ---------------------------------------------------------------------------
// Firmware file

int TMainForm::OpenFirmwareFile(const std::string& path) {
    const FirmwareFileInfo file = ReadFirmwareFile(path);
    if (!file.Opened) {
        FileSize = 0;
        return 0;
    }
    FileSize = static_cast<int>(std::min<int64_t>(file.FileSize, INT_MAX));
    WriteLog("P2");
    Options = static_cast<OptionFlags>((Options & ~OptFileBits) | file.Flags);
    FileIdentity = file.Identity;
    ChunkKiB = file.ChunkKiB;
    ChunkCount = file.ChunkCount;
    if (file.Usable) return 1;

    // The size rule fails, or the chunk fields could not be sent as they
    // stand: either way the file must never reach the download thread.
    FileSize = 0;
    AutoRun = 0;
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%ub %dKb %dCmd", file.ChunkBytes(),
                  static_cast<int>(file.LastChunkKiB), file.ChunkCount);
    ShowMsg(std::string(kFileOpenFail.Korean) + numbers, std::string(kFileOpenFail.English) + numbers);
    win::MessageBoxA(this, numbers, kMessageCaption,
                     platform::MB_OK | platform::MB_ICONERROR | platform::MB_SYSTEMMODAL);
    return 0;
}

// ---------------------------------------------------------------------------
// Messages

void TMainForm::ShowMsg(const std::string& korean, const std::string& english) {
    std::unique_ptr<TFormMsg> message = vcl::Create<TFormMsg>(this, Korean != 0);
    message->Label1->setText(QString::fromUtf8(Korean != 0 ? korean : english));
    message->ShowModal();
}

void TMainForm::ShowCaution() {
    std::unique_ptr<TFormCaution> caution = vcl::Create<TFormCaution>(this, Korean != 0);
    caution->ShowModal();
}

void TMainForm::ShowStateMessage(DownloadState state) {
    const bool test = InTestMode();
    // Logs the step code, then closes the program in a test mode or shows
    // the message otherwise.
    auto logThenCloseOrShow = [this, test](const char* code, const Text& message) {
        WriteLog(code);
        if (test)
            Close();
        else
            ShowMsg(message.Korean, message.English);
    };
    switch (state) {
        case StateDiscPresent:
            if (test) {
                WriteLog("E4");
                Close();
            } else {
                AtapiLib.StartStopUnit(DriveIndex, kEjectByte4);
                ShowMsg(kRemoveDisc.Korean, kRemoveDisc.English);
            }
            break;
        case StateNoCompatibleDrive:
            if (test) {
                WriteLog("E2");
                Close();
            }
            break;
        case StateCodeMismatch:
        case StateFcCodeMismatch:
            ShowMsg(kNotCompatibleContact.Korean, kNotCompatibleContact.English);
            ClearFileInfo();
            break;
        case StateModelMismatch:
            ShowMsg(kNotCompatible.Korean, kNotCompatible.English);
            ClearFileInfo();
            break;
        case StateFileNotOpened:
            if (!test) ShowMsg(kFileNotOpened.Korean, kFileNotOpened.English);
            break;
        case StateOldVersion:
            if (!test) ShowMsg(kOldVersion.Korean, kOldVersion.English);
            break;
        case StateNoFile: logThenCloseOrShow("E1", kFileNotOpened); break;
        case StateFlashCmdFail: logThenCloseOrShow("E6", kFlashCmdFail); break;
        default: break;
    }
}

// ---------------------------------------------------------------------------
// Download

void TMainForm::SpeedButtonDownClick() {
    if (Busy) return;
    if (State == StateNoCompatibleDrive) {
        TimerAutorun->SetEnabled(false);
        return;
    }
    WriteLog("P4");
    // No drive listed (none found, or the user may not download): nothing is
    // sent, not even the disc check, whatever file was opened since.
    if (!HasListedDrive()) {
        State = StateNoDrive;
        ShowStateMessage(State);
        return;
    }
    if (FwLib.CheckDiscLoaded(DriveIndex, State) == StateDiscPresent) {
        Refusal = StateDiscPresent;
        ShowStateMessage(StateDiscPresent);
        return;
    }
    if (State != StateOk && State != StateOldVersion) {
        Refusal = State;
        ShowStateMessage(State);
        return;
    }
    if (FileSize == 0) {
        Refusal = StateNoFile;
        ShowStateMessage(StateNoFile);
        return;
    }
    // However the caution window is closed, the download goes on.
    if (!InTestMode() && BinArgument == 0) ShowCaution();
    SetFocus();
    Busy = true;
    WriteLog("P5");
    SetCapture();
    vcl::Screen.SetCursor(vcl::crHourGlass);
    KillInterferingProcesses();
    StartDownload();
}

void TMainForm::KillInterferingProcesses() {
    for (const char* program : kInterferingPrograms) SysFun.KillProcess(program);
}

void TMainForm::StartDownload() {
    DownloadStarted = true;
    auto* thread = new TThreadDown(this);
    thread->Options = Options;
    thread->DriveIndex = DriveIndex;
    thread->FileName = BinArgument != 0 ? StartupFileName : FileName;
    thread->FileSize = FileSize;
    thread->ChunkCount = ChunkCount;
    thread->ChunkKiB = ChunkKiB;
    thread->BinArgument = BinArgument;
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [form = QPointer<TMainForm>(this)](vcl::TThread* sender) {
        if (!form.isNull()) form->DownloadTerminate(sender);
    };
    thread->Resume();
}

void TMainForm::DownloadTerminate(vcl::TThread* /*sender*/) {
    vcl::Screen.SetCursor(vcl::crDefault);
    ReleaseCapture();
    Busy = false;
    const DownloadState result = ThreadResult;
    if (result == StateNoFile || result == StateFlashCmdFail) {
        SetFocus();
        ShowStateMessage(result);
        return;
    }
    if (InTestMode() || BinArgument != 0) {
        Close();
        return;
    }
    SetFocus();
    const Text& message = result == StateOk ? kDownloadOkRestart : kDownloadFailRestart;
    ShowMsg(message.Korean, message.English);
    // A refused restart leaves the window open and usable.
    SysFun.RebootSystem();
}

// ---------------------------------------------------------------------------
// Command line, unattended starts and step log

void TMainForm::ParseCommandLine() {
    const CommandLineChoice choice = ParseCommandLineText(win::GetCommandLineA());
    Options = choice.Options;
    if (choice.BinArgument) {
        FileName = choice.FileName;
        AutoRun = 0;
        BinArgument = 1;
    }
    if (!choice.LogToClear.empty()) RemoveIfExists(choice.LogToClear);
    WriteLog("START");
}

int TMainForm::WriteLog(const std::string& code) {
    return AppendStepLog(Options, BinArgument != 0, code) ? 1 : 0;
}

int TMainForm::ExitStatus() const {
    // Status 1 stays with a program that could not start at all.
    constexpr int kEndedBeforeDownload = 2;
    if (DownloadStarted) {
        const DownloadState result = ThreadResult;
        return result == StateOk ? 0 : static_cast<int>(result);
    }
    if (!StartedUnattended) return 0;
    if (Refusal != DownloadState{}) return static_cast<int>(Refusal);
    if (State == StateOk || State == StateOldVersion) return kEndedBeforeDownload;
    return static_cast<int>(State);
}

bool TMainForm::UnattendedStart() const {
    return (Options & OptTestModes) != 0 || AutoRun != 0 || BinArgument != 0;
}

void TMainForm::UnattendedOpen() {
    WriteLog("P1");
    State = StateFileNotOpened;
    AutoRun = 1;
    if (OpenFirmwareFile(FileName) != 1) return;
    WriteLog("P3");
    State = StateNoCompatibleDrive;
    for (int line = 0; line < static_cast<int>(DriveSlots.size()); ++line) {
        const uint8_t slot = DriveSlots[static_cast<std::size_t>(line)];
        ReadDriveInfo(slot);
        BootCode = FwLib.IsBootCode(DriveIdentity.Revision) ? 1 : 0;
        State = FwLib.CheckFirmwareFile(Options, DriveIdentity, FileIdentity, CodeFromQuery, BootCode);
        if (State == StateOk || State == StateOldVersion) {
            DriveIndex = slot;
            SelectDriveLine(line);
            ShowVersions();
            return;
        }
    }
}

void TMainForm::UnattendedFinish() {
    if (State != StateOk && (AutoRun != 0 || BinArgument != 0)) {
        ShowStateMessage(State);
        if (State != StateOldVersion) Close();
    }
    TimerAutorun->SetEnabled(true);
}

void TMainForm::TimerAutorunTimer() {
    TimerAutorun->SetEnabled(false);
    SpeedButtonDownClick();
}

// ---------------------------------------------------------------------------
// Handlers

void TMainForm::ComboBoxDrvChange() {
    const uint8_t slot = SlotOfLine(ComboBoxDrv->currentIndex());
    if (slot == DriveIndex) return;
    DriveIndex = slot;
    LabelTarDrvInfo->setText(ComboBoxDrv->currentText());
    ClearFileInfo();
    ReadDriveInfo(DriveIndex);
    BootCode = FwLib.IsBootCode(DriveIdentity.Revision) ? 1 : 0;
    const std::string drive = LabelTarDrvInfo->text().toStdString();
    ShowMsg(kDriveChanged.Korean + drive, kDriveChanged.English + drive);
}

void TMainForm::SpeedButtonSearchClick() {
    if (Busy) return;
    if (!vcl::CurrentDialogs().OpenFile(this, OpenDialog1.Filter, OpenDialog1.FileName)) return;
    State = StateOk;
    FileName = OpenDialog1.FileName;
    if (OpenFirmwareFile(FileName) == 0) State = StateFileNotOpened;
    // Without a listed drive there is no drive to judge the file against: the
    // state stays "no drive".
    if (State == StateOk && !HasListedDrive()) State = StateNoDrive;
    BootCode = FwLib.IsBootCode(DriveIdentity.Revision) ? 1 : 0;
    if (State == StateOk)
        State = FwLib.CheckFirmwareFile(Options, DriveIdentity, FileIdentity, CodeFromQuery, BootCode);
    ShowStateMessage(State);
    if (State == StateOk || State == StateOldVersion) ShowVersions();
}

void TMainForm::SpeedButtonExitClick() {
    if (!Busy) Close();
}

void TMainForm::SpeedButtonHelpClick() {
    if (!Busy && FormAbout != nullptr) FormAbout->ShowModal();
}

void TMainForm::ButtonOptionClick() {
    if (FormEngOption != nullptr) FormEngOption->Show();
}

void TMainForm::Button1Click() { ShowCaution(); }

void TMainForm::ImageExitClick() { Close(); }

void TMainForm::FormShow() {}

// A close while the download runs is refused, as the exit button refuses it:
// the worker writes through this window, and a flash cut mid-chunk leaves
// the drive without firmware.
void TMainForm::FormCloseQuery(bool& canClose) { canClose = !Busy; }

void TMainForm::FormKeyDown(int key) {
    char text[128];
    if (key == vcl::VK_F9 && FileSize != 0) {
        std::snprintf(text, sizeof text, "Download File Info. !!\n(%ub %dKb %dCmd)\n",
                      static_cast<unsigned>(ChunkKiB * 1024),
                      static_cast<int>(static_cast<uint8_t>((64 - ChunkKiB) * (ChunkCount - 1))), ChunkCount);
        win::MessageBoxA(this, text, kMessageCaption, platform::MB_OK | platform::MB_SYSTEMMODAL);
    }
    if (key == vcl::VK_F8) {
        std::snprintf(text, sizeof text, "[ FC CODE ]       \n  - DRV : [%02X%02X]\n  - FW  : [%02X%02X]",
                      DriveIdentity.FcCode[0], DriveIdentity.FcCode[1], FileIdentity.FcCode[0],
                      FileIdentity.FcCode[1]);
        win::MessageBoxA(this, text, kMessageCaption, platform::MB_OK | platform::MB_SYSTEMMODAL);
    }
}

// ---------------------------------------------------------------------------
// Skin, language texts and hover glyphs

void TMainForm::InitSkin() {
    vcl::SetProgressBarColor(ProgressBar, kBarColor);
    SetClientSize(kWindowWidth, kWindowHeight);
    SetRoundRectRegion(kWindowWidth, kWindowHeight, kCornerSize, kCornerSize);
    SetLanguageFonts();
    SetLanguageTexts();
    InitButtons();
    SetInfoText(1, kNoFileOpened.Korean, kNoFileOpened.English);
    SetInfoText(5, kReady.Korean, kReady.English);
}

void TMainForm::LoadSkinPicture(const std::string& path) {
    vcl::TPicture picture;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception& error) {
        // The window works without its skin; say why it is plain.
        vcl::Application.ShowException("The main window's picture \"" + path + "\" cannot be shown. " +
                                       error.what());
    }
    vcl::ShowPicture(ImageMain, picture);
}

void TMainForm::SetLanguageFonts() {
    const std::string font = Korean != 0 ? "굴림" : "Tahoma";
    for (QLabel* label : {LabelSelDrv, LabelDnFile, LabelTarDrv, LabelCurVer, LabelNewVer, LabelStatus,
                          LabelTarDrvInfo, LabelCurVerInfo, LabelNewVerInfo, LabelStatusInfo,
                          LabelCaution1, LabelCaution2, LabelCaution3})
        vcl::SetFontName(label, font);
}

void TMainForm::SetLanguageTexts() {
    const struct {
        QLabel* Label;
        Text Texts;
    } labels[] = {
        {LabelSelDrv, {"드라이브 선택 :", "Select Drive :"}},
        {LabelDnFile, {"펌웨어 파일 :", "F/W File :"}},
        {LabelTarDrv, {"드라이브 명 :", "Target Drive :"}},
        {LabelCurVer, {"현재 버젼 :", "Current Version :"}},
        {LabelNewVer, {"신 버젼 :", "New Version :"}},
        {LabelStatus, {"상태 :", "Status :"}},
        {LabelCaution1,
         {"* 당사의 펌웨어 업그레이드 과정은 업그레이드 진행시 PC가 자동으로 재 부팅한 후 ",
          "* The firmware upgrade process of this company is organized so that the entire upgrade"}},
        {LabelCaution2,
         {"전체 업그레이드 과정이 완료되도록 되어있습니다.",
          "process is completed after the PC is automatically rebooted."}},
        {LabelCaution3,
         {"따라서 업그레이드가 진행되는 도중에는 PC 전원을 강제로 끄지 마십시요.",
          "Therefore, do not turn off the PC power supply by force while the upgrade is in progress."}},
    };
    for (const auto& entry : labels)
        entry.Label->setText(QString::fromUtf8(Korean != 0 ? entry.Texts.Korean : entry.Texts.English));
}

void TMainForm::InitButtons() {
    HoveredButton = 0;
    SpeedButtonDown->resize(Korean != 0 ? 60 : 69, SpeedButtonDown->height());
    SetButtonGlyph(kSearchButton, 0);
    SetButtonGlyph(kDownButton, 0);
}

void TMainForm::SetButtonGlyph(int type, int index) {
    if (index == 1 && type == HoveredButton) return;
    switch (type) {
        case kHelpButton: vcl::SetGlyph(SpeedButtonHelp, ImageListHelp.GetBitmap(index)); break;
        case kExitButton: vcl::SetGlyph(SpeedButtonExit, ImageListExit.GetBitmap(index)); break;
        case kSearchButton:
            vcl::SetGlyph(SpeedButtonSearch, Korean != 0 ? ImageListSearchDownKr.GetBitmap(index + 2)
                                                         : ImageListSearch_en.GetBitmap(index));
            break;
        case kDownButton:
            vcl::SetGlyph(SpeedButtonDown, Korean != 0 ? ImageListSearchDownKr.GetBitmap(index)
                                                       : ImageListDown_en.GetBitmap(index));
            break;
        default: break;
    }
    HoveredButton = index == 1 ? type : 0;
}

void TMainForm::SpeedButtonDownMouseMove() {
    if (!Busy) SetButtonGlyph(kDownButton, 1);
}

void TMainForm::SpeedButtonHelpMouseMove() {
    if (!Busy) SetButtonGlyph(kHelpButton, 1);
}

void TMainForm::SpeedButtonExitMouseMove() {
    if (!Busy) SetButtonGlyph(kExitButton, 1);
}

void TMainForm::SpeedButtonSearchMouseMove() {
    if (!Busy) SetButtonGlyph(kSearchButton, 1);
}

void TMainForm::ImageMainMouseMove() {
    if (!Busy) SetButtonGlyph(HoveredButton, 0);
}

void TMainForm::ImageMainMouseDown() { BeginSystemMove(); }

void TMainForm::FormMouseDown() { BeginSystemMove(); }
