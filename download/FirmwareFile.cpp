#include "download/FirmwareFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace {

constexpr int kKiB = 1024;
// A chunk travels in one transfer: a 16-bit length out of a 65,536-byte
// buffer, so a chunk must stay below 64 KiB.
constexpr int kChunkLimitKiB = 64;

// Closes the descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads exactly sizeof(FirmwareTrailer) bytes at offset (never negative).
bool ReadTrailerAt(int fd, int64_t offset, FirmwareTrailer& trailer) {
    auto* bytes = reinterpret_cast<uint8_t*>(&trailer);
    std::size_t done = 0;
    while (done < kTrailerSize) {
        const ssize_t n = ::pread(fd, bytes + done, kTrailerSize - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void DecodeTrailer(const FirmwareTrailer& trailer, FirmwareFileInfo& info) {
    info.TrailerRead = true;
    std::memcpy(info.Identity.Model, trailer.Model, kModelLength);
    std::memcpy(info.Identity.Revision, trailer.Revision, kRevisionLength);
    std::memcpy(info.Identity.Code, trailer.Code, kCodeLength);
    UpperCaseAscii(info.Identity.Code, kCodeLength);
    std::memcpy(info.Identity.FcCode, trailer.FcCode, sizeof info.Identity.FcCode);
    info.ChunkKiB = trailer.ChunkKiB;
    info.ChunkCount = trailer.ChunkCount;
    if (trailer.HasFcMarker()) info.Flags |= OptFcMarker;
    if (trailer.ComparesCode()) info.Flags |= OptCompareCode;
}

FirmwareFileInfo Refuse(FirmwareFileInfo info, FirmwareFileProblem problem) {
    info.Usable = false;
    info.Problem = problem;
    info.Reason = FirmwareFileProblemText(problem);
    return info;
}

}  // namespace

const char* FirmwareFileProblemText(FirmwareFileProblem problem) {
    switch (problem) {
        case FirmwareFileProblem::None: return "";
        case FirmwareFileProblem::NotOpened: return "the file cannot be opened or read";
        case FirmwareFileProblem::TooShortForTrailer:
            return "the file is shorter than its 48-byte trailer";
        case FirmwareFileProblem::NoSecondTrailer:
            return "the trailer's second place lies before the start of the file";
        case FirmwareFileProblem::TooLarge: return "the file is larger than 2,147,483,647 bytes";
        case FirmwareFileProblem::SizeRuleFails:
            return "the file size does not match the trailer's chunk fields";
        case FirmwareFileProblem::NoChunks: return "the trailer's chunk count is 0";
        case FirmwareFileProblem::ChunkSizeZero: return "the trailer's chunk size is 0 KiB";
        case FirmwareFileProblem::ChunkTooLarge:
            return "a chunk of 64 KiB or more does not fit one transfer";
        case FirmwareFileProblem::LastChunkTooLarge:
            return "the last chunk of 64 KiB or more does not fit one transfer";
        case FirmwareFileProblem::LastChunkEmpty: return "the last chunk would be 0 KiB";
        case FirmwareFileProblem::SingleChunkMismatch:
            return "the only chunk's size differs from the file's size";
    }
    return "";
}

FirmwareFileInfo JudgeFirmwareFile(int64_t fileSize, const FirmwareTrailer* trailer) {
    FirmwareFileInfo info;
    info.Opened = true;
    info.FileSize = fileSize;
    if (trailer != nullptr) DecodeTrailer(*trailer, info);
    const bool bootImage = fileSize == kBootImageSize;
    if (bootImage) info.Flags |= OptBootImage;

    const int n = info.ChunkCount;
    const int c = info.ChunkKiB;
    // The low byte of the difference is the same whatever the width the
    // difference is taken in, so the message numbers exist for any size.
    info.LastChunkKiB = static_cast<uint8_t>(fileSize / kKiB - static_cast<int64_t>(n - 1) * c);

    if (trailer == nullptr)
        return Refuse(info, fileSize < static_cast<int64_t>(kTrailerSize)
                                ? FirmwareFileProblem::TooShortForTrailer
                                : FirmwareFileProblem::NoSecondTrailer);
    if (fileSize > std::numeric_limits<int32_t>::max())
        return Refuse(info, FirmwareFileProblem::TooLarge);
    if (bootImage) {
        info.SizeRuleHolds = true;
        info.Usable = true;
        info.Problem = FirmwareFileProblem::None;
        return info;
    }

    const int32_t s = static_cast<int32_t>(fileSize);
    const int32_t l = info.LastChunkKiB;
    info.SizeRuleHolds = c * kKiB * (n - 1) + l * kKiB == s;
    if (!info.SizeRuleHolds) return Refuse(info, FirmwareFileProblem::SizeRuleFails);

    // The download sends N-1 chunks of C KiB and one of L KiB (one chunk: C
    // KiB in the first chunk's form), each in one transfer.
    if (n == 0) return Refuse(info, FirmwareFileProblem::NoChunks);
    if (c == 0) return Refuse(info, FirmwareFileProblem::ChunkSizeZero);
    if (c >= kChunkLimitKiB) return Refuse(info, FirmwareFileProblem::ChunkTooLarge);
    if (n == 1) {
        if (c != s / kKiB) return Refuse(info, FirmwareFileProblem::SingleChunkMismatch);
    } else {
        if (l >= kChunkLimitKiB) return Refuse(info, FirmwareFileProblem::LastChunkTooLarge);
        // A last chunk of 0 KiB would go out with byte 5 = 0, as a first chunk.
        if (l == 0) return Refuse(info, FirmwareFileProblem::LastChunkEmpty);
    }
    info.Usable = true;
    info.Problem = FirmwareFileProblem::None;
    return info;
}

FirmwareFileInfo ReadFirmwareFile(const std::string& path) {
    FirmwareFileInfo notOpened = Refuse(FirmwareFileInfo{}, FirmwareFileProblem::NotOpened);
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return notOpened;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return notOpened;
    const int64_t size = status.st_size;

    if (size < static_cast<int64_t>(kTrailerSize)) return JudgeFirmwareFile(size, nullptr);
    FirmwareTrailer trailer{};
    if (!ReadTrailerAt(file.get(), size - static_cast<int64_t>(kTrailerSize), trailer))
        return notOpened;
    // A trailer that begins with 0xFF stands before a 64 KiB tail instead;
    // that place is tried once, whatever its own first byte.
    if (static_cast<uint8_t>(trailer.Model[0]) == 0xFF) {
        if (size < kSecondTrailerOffset) return JudgeFirmwareFile(size, nullptr);
        if (!ReadTrailerAt(file.get(), size - kSecondTrailerOffset, trailer)) return notOpened;
    }
    return JudgeFirmwareFile(size, &trailer);
}
