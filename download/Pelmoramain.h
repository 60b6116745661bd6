// The download program's main window: it holds the whole state of a run (the
// drive list, the selected drive's identity, the opened firmware file and its
// trailer values, the option word, the current state and the busy flag of a
// running download), and it carries the unattended starts; the command line
// and the step log it reads and writes are in Pelmoracommandline.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/DownloadTypes.h"
#include "download/Pelmoracommandline.h"
#include "ui_TMainForm.h"
#include "vcl/Forms.h"
#include "vcl/Graphics.h"
#include "vcl/Thread.h"
#include "vcl/Timer.h"

// The window's skin: the JPEG picture stored with its layout.
inline constexpr const char* kSkinPicture = ":/pelmora/ImageMain.jpg";

// ---------------------------------------------------------------------------
class TMainForm : public vcl::TForm, public Ui::TMainForm {
public:
    // skinPicture: where ImageMain's picture is read from.
    explicit TMainForm(vcl::TForm* owner, const std::string& skinPicture = kSkinPicture);
    ~TMainForm() override;
    std::string ClassName() const override { return "TMainForm"; }

    // ---- state -----------------------------------------------------------
    FirmwareIdentity DriveIdentity;  // the selected drive (ReadDriveInfo)
    FirmwareIdentity FileIdentity;   // the opened file's trailer
    int HoveredButton = 0;           // 1 help, 2 exit, 4 search, 8 download, 0 none
    uint8_t AutoRun = 0;             // "AUTORUN.BIN" existed / the unattended open ran
    uint8_t BinArgument = 0;         // a ".BIN" path was on the command line
    uint8_t Korean = 0;
    OptionFlags Options = 0;
    uint8_t DriveIndex = 0;          // the selected drive's slot
    std::atomic<bool> Busy{false};   // a download runs
    std::string FileName;
    uint8_t BootCode = 0;            // the drive runs boot code
    uint8_t CodeFromQuery = 0;       // the drive code came from the identity query
    int FileSize = 0;                // 0: no usable file
    int ChunkCount = 0;
    int ChunkKiB = 0;
    DownloadState State{};
    std::atomic<DownloadState> ThreadResult{};  // written by the download thread

    // The drive slot of each drive-list line: a slot whose INQUIRY fails gets
    // no line, so lines and slots need not match.  Its size is the number of
    // drives in the list.
    std::vector<uint8_t> DriveSlots;

    // Start-up found an unattended start ("AUTORUN.BIN", "-TEST", "-LIVE" or
    // a ".BIN" path); a download thread was started.
    bool StartedUnattended = false;
    bool DownloadStarted = false;
    // Why the download button last stopped short of a download (0: it did not).
    DownloadState Refusal{};

    // Non-visual components.
    std::unique_ptr<vcl::TTimer> TimerAutorun;  // 1000 ms, off until an unattended start
    struct OpenDialog {
        std::string Filter = "DOWNLOAD FILE(*.BIN)|*.BIN";
        std::string FileName;
    } OpenDialog1;
    vcl::TImageList ImageListSearchDownKr;  // Korean: download, download hover, search, search hover
    vcl::TImageList ImageListSearch_en;
    vcl::TImageList ImageListDown_en;
    vcl::TImageList ImageListHelp;
    vcl::TImageList ImageListExit;

    // ---- routines --------------------------------------------------------
    void InitState();
    uint8_t SearchDrives();
    uint8_t ReadDriveInfo(uint8_t slot);
    // Slots: 0 adds a drive-list line, 1 file text, 2 target drive, 3 current
    // version, 4 new version, 5 status; others do nothing.
    void SetInfoText(int slot, const std::string& korean, const std::string& english);
    void ShowVersions();
    void ClearFileInfo();
    void ShowOptionLabels();
    int OpenFirmwareFile(const std::string& path);
    void ShowStateMessage(DownloadState state);
    void ShowMsg(const std::string& korean, const std::string& english);
    void ShowCaution();
    void KillInterferingProcesses();
    void StartDownload();
    void DownloadTerminate(vcl::TThread* sender);
    void ParseCommandLine();
    int WriteLog(const std::string& code);
    uint8_t CheckAuthority();
    void InitSkin();
    // ImageMain's picture from a JPEG file; a picture that cannot be read is
    // reported by the exception display and leaves ImageMain empty.
    void LoadSkinPicture(const std::string& path);
    void SetLanguageFonts();
    void SetLanguageTexts();
    void InitButtons();
    void SetButtonGlyph(int type, int index);

    // The slot of a drive-list line (the line itself past the map's end).
    uint8_t SlotOfLine(int line) const;
    // A drive-list line names a drive (the search found one and the user may
    // download).
    bool HasListedDrive() const { return !DriveSlots.empty(); }
    // The process's exit status once the program ends: 0 when the last
    // download completed; that download's result code (13, 14, 15) when it
    // failed; with no download made, the state that stopped an unattended
    // start (4 disc, 5, 6 no drive or no administrator, 7, 8, 12 verdict,
    // 9 refused file) or 2 when it ended before its download, and 0 for an
    // interactive run.
    int ExitStatus() const;
    // Nothing more happens without a user: no download runs and the
    // unattended timer is off.
    bool WaitsForUser() const { return !Busy && !TimerAutorun->Enabled(); }
    // "-TEST" or "-LIVE".
    bool InTestMode() const { return (Options & OptTestModes) != 0; }

    // ---- handlers --------------------------------------------------------
    void ComboBoxDrvChange();
    void SpeedButtonSearchClick();
    void SpeedButtonDownClick();
    void SpeedButtonExitClick();
    void SpeedButtonHelpClick();
    void ButtonOptionClick();
    void Button1Click();
    void ImageExitClick();
    void TimerAutorunTimer();
    void SpeedButtonDownMouseMove();
    void SpeedButtonHelpMouseMove();
    void SpeedButtonExitMouseMove();
    void SpeedButtonSearchMouseMove();
    void ImageMainMouseMove();
    void ImageMainMouseDown();
    void FormMouseDown();
    void FormKeyDown(int key) override;
    void FormShow() override;
    void FormCloseQuery(bool& canClose) override;

protected:
    void FormCreate() override;

private:
    bool UnattendedStart() const;
    void UnattendedOpen();
    void UnattendedFinish();
    void SelectDriveLine(int line);
};

extern TMainForm* MainForm;
// FileName as it stood at the end of start-up: what a ".BIN" argument
// downloads, whatever was opened since.
extern std::string StartupFileName;
