#include "download/Pelmorathread.h"

#include <QProgressBar>

#include <algorithm>

#include "download/Atapilib.h"
#include "download/Fwlib.h"
#include "download/Pelmoramain.h"
#include "drive/Transport.h"
#include "platform/Win.h"

uint8_t TransferBuffer[kTransferBufferSize];

namespace {

constexpr int kChunkSpan = 90;  // the chunks move the bar this far; the fill does the rest
constexpr int kBarEnd = 100;
constexpr int kFillPoints = 5;
constexpr uint32_t kFillPauseMs = 100;

// A boot image is 65,536 bytes; its bytes 4,096 to 5,119 go to the drive's
// boot block in one write.
constexpr std::size_t kBootImageSkip = 4096;
constexpr std::size_t kBootImageRest = 61440;
constexpr uint16_t kBootBlockLength = 1024;
constexpr int kBootImageChunkKiB = 60;

// Fills the buffer's first `length` bytes from the file.  False when fewer
// came (the file shrank since it was checked, or a read error): the buffer
// then holds a mix of this read and the chunk before, which must never be
// sent.
bool ReadInto(std::FILE* file, std::size_t length) {
    const std::size_t wanted = std::min(length, kTransferBufferSize);
    return std::fread(TransferBuffer, 1, wanted, file) == wanted;
}

// The status a chunk that could not be read counts as: not good, so the
// download ends as a failed one and no further chunk goes out.
constexpr uint8_t kChunkNotRead = 0;

}  // namespace

TThreadDown::TThreadDown(TMainForm* form) : form_(form), threadResult_(&form->ThreadResult) {}

void TThreadDown::Execute() {
    std::FILE* file = std::fopen(FileName.c_str(), "rb");
    if (file == nullptr) {
        *threadResult_ = StateNoFile;
        return;
    }
    SetStatus("다운로드 진행중입니다.", "Wait..");

    if (((Options & OptFcMarker) != 0 && (Options & OptForceSuffix) == 0) ||
        (Options & OptForceNonSuffix) != 0) {
        if (AtapiLib.SendFlashCommand(DriveIndex) != drive::kStatusGood) {
            *threadResult_ = StateFlashCmdFail;
            std::fclose(file);
            return;
        }
    }
    // A drive that refuses the boot-rewrite setting is downloaded all the same.
    if ((Options & OptBootRewrite) != 0) FwLib.ApplyBootRewriteOption(DriveIndex, Options);

    const uint8_t ok = (Options & OptBootImage) != 0 ? SendBootImage(file) : SendChunks(file);
    if (ok == drive::kStatusGood) {
        WriteLog("COMPLETE");
        while (progress_ < kBarEnd) {
            AddProgress(kFillPoints);
            win::Sleep(kFillPauseMs);
        }
        if ((Options & OptTestModes) == 0) SetStatus("다운로드 성공", "Download OK");
        SetProgress(kBarEnd);
        Result = StateOk;
    } else {
        WriteLog("E7");
        SetStatus("다운로드 실패", "Download Fail");
        Result = StateDownloadFail;
    }
    *threadResult_ = Result;
    std::fclose(file);
}

uint8_t TThreadDown::SendBootImage(std::FILE* file) {
    ChunkKiB = kBootImageChunkKiB;
    if (!ReadInto(file, kBootImageSkip) || !ReadInto(file, kBootImageRest)) return kChunkNotRead;
    const uint8_t status =
        AtapiLib.WriteFirmwareBlock(DriveIndex, TransferBuffer, kBootBlockLength, kChunkBootImage, kKindBoot);
    WriteLog("COMPLETE");
    return status;
}

uint8_t TThreadDown::SendChunks(std::FILE* file) {
    const int count = ChunkCount;
    const int chunkKiB = ChunkKiB;
    // The file reader never lets a trailer without chunks through; should one
    // come, nothing is sent and the download fails.
    if (count <= 0) return kChunkNotRead;
    const int step = kChunkSpan / count;
    const auto lastKiB = static_cast<uint8_t>(FileSize / 1024 - (count - 1) * chunkKiB);
    uint8_t ok = drive::kStatusGood;
    for (int i = 0; i < count && ok == drive::kStatusGood; ++i) {
        int sizeKiB = chunkKiB;
        uint8_t place = kChunkMiddle;
        if (i == 0) {
            WriteLog("P6");
            place = kChunkFirst;
        } else if (i == count - 1) {
            WriteLog("P7");
            sizeKiB = lastKiB;
            place = lastKiB;
        }
        const auto length = static_cast<uint16_t>(sizeKiB * 1024);
        if (!ReadInto(file, length)) return kChunkNotRead;
        ok = AtapiLib.WriteFirmwareBlock(DriveIndex, TransferBuffer, length, place, kKindNormal);
        AddProgress(step);
    }
    return ok;
}

void TThreadDown::SetStatus(const char* korean, const char* english) {
    Queue([form = form_, korean, english] {
        if (!form.isNull()) form->SetInfoText(5, korean, english);
    });
}

void TThreadDown::AddProgress(int points) { SetProgress(progress_ + points); }

void TThreadDown::SetProgress(int position) {
    progress_ = position;
    // The bar stops at its maximum, as the progress control does.
    Queue([form = form_, value = std::min(position, kBarEnd)] {
        if (!form.isNull()) form->ProgressBar->setValue(value);
    });
}

void TThreadDown::WriteLog(const char* code) const { AppendStepLog(Options, BinArgument != 0, code); }
