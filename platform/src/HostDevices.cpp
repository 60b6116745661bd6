// Optical drives of the Linux host: drive letters over /dev/srN, device
// descriptors as handles, and the pass-through-direct request over SG_IO.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Host.h"
#include "platform/Scsi.h"

namespace platform::host {

namespace {

constexpr char kFirstLetter = 'd';
constexpr char kLastLetter = 'z';

// The SG driver's view of how a command ended, apart from the SCSI status.
// The low nibble of driver_status is the driver's verdict; the high nibble
// holds retry suggestions that do not change it.
constexpr unsigned kDriverStatusMask = 0x0F;
constexpr unsigned kDriverOk = 0x00;
constexpr unsigned kDriverSense = 0x08;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The letter of a root "d:" (exactly two characters), or 0.
char RootLetter(const char* root) {
    if (root == nullptr || root[0] == '\0' || root[1] != ':' || root[2] != '\0') return 0;
    return Lower(root[0]);
}

// The letter of a device path "\\.\d:" (exactly that form), or 0.
char DevicePathLetter(const char* path) {
    static constexpr char kPrefix[] = "\\\\.\\";
    constexpr size_t kPrefixLength = sizeof kPrefix - 1;
    if (path == nullptr || std::strncmp(path, kPrefix, kPrefixLength) != 0) return 0;
    return RootLetter(path + kPrefixLength);
}

}  // namespace

std::string OpticalDeviceName(char letter) {
    letter = Lower(letter);
    if (letter < kFirstLetter || letter > kLastLetter) return {};
    return "sr" + std::to_string(letter - kFirstLetter);
}

int SystemSgIo(int fd, sg_io_hdr& header) { return ::ioctl(fd, SG_IO, &header); }

bool PassThroughDirect(int fd, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned, const SgIoCall& sgIo) {
    constexpr uint32_t kRecordSize = sizeof(ScsiPassThroughDirect);
    if (in == nullptr || out == nullptr || inSize < kRecordSize || outSize < kRecordSize)
        return false;

    // The caller's buffers need not be aligned for the record: work on a copy.
    ScsiPassThroughDirect request;
    std::memcpy(&request, in, kRecordSize);
    if (request.Length != kRecordSize) return false;
    if (request.CdbLength == 0 || request.CdbLength > sizeof request.Cdb) return false;

    const uint32_t senseLength = request.SenseInfoLength;
    if (senseLength != 0) {
        const uint64_t senseEnd = uint64_t{request.SenseInfoOffset} + senseLength;
        if (request.SenseInfoOffset < kRecordSize || senseEnd > outSize) return false;
    }

    int direction = SG_DXFER_NONE;
    if (request.DataTransferLength != 0) {
        if (request.DataBuffer == nullptr) return false;
        if (request.DataIn == SCSI_IOCTL_DATA_IN)
            direction = SG_DXFER_FROM_DEV;
        else if (request.DataIn == SCSI_IOCTL_DATA_OUT)
            direction = SG_DXFER_TO_DEV;
        else
            return false;  // the SG layer needs to know which way the data goes
    } else if (request.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED) {
        return false;
    }

    unsigned char sense[kMaxSenseBytes] = {};
    sg_io_hdr header{};
    header.interface_id = 'S';
    header.dxfer_direction = direction;
    header.cmd_len = request.CdbLength;
    header.mx_sb_len = static_cast<unsigned char>(std::min(senseLength, kMaxSenseBytes));
    header.dxfer_len = request.DataTransferLength;
    header.dxferp = direction == SG_DXFER_NONE ? nullptr : request.DataBuffer;
    header.cmdp = request.Cdb;
    header.sbp = sense;
    // Seconds to milliseconds; a time-out too long to express waits as long
    // as the driver can, rather than wrapping round to a short one.
    header.timeout = static_cast<unsigned>(
        std::min<uint64_t>(uint64_t{request.TimeOutValue} * 1000, UINT_MAX));

    if (sgIo(fd, header) < 0) return false;
    if (header.host_status != 0) return false;
    const unsigned driver = header.driver_status & kDriverStatusMask;
    if (driver != kDriverOk && driver != kDriverSense) return false;

    request.ScsiStatus = static_cast<uint8_t>(header.status);
    // What moved: the asked length less the residual count, as the platform
    // writes it back into the record.  A residual the driver cannot mean
    // (negative, or past the length) is held to the length.
    const uint32_t asked = direction == SG_DXFER_NONE ? 0 : request.DataTransferLength;
    const uint32_t resid = header.resid < 0 ? 0 : std::min<uint32_t>(static_cast<uint32_t>(header.resid), asked);
    request.DataTransferLength = asked - resid;
    unsigned char* outBytes = static_cast<unsigned char*>(out);
    if (out != in) std::memmove(outBytes, in, kRecordSize);
    std::memcpy(outBytes + offsetof(ScsiPassThroughDirect, ScsiStatus), &request.ScsiStatus,
                sizeof request.ScsiStatus);
    std::memcpy(outBytes + offsetof(ScsiPassThroughDirect, DataTransferLength),
                &request.DataTransferLength, sizeof request.DataTransferLength);
    if (senseLength != 0) {
        // A driver that claims more sense than it was allowed gets no more
        // than the room it was given.
        uint32_t came = std::min<uint32_t>(header.sb_len_wr, header.mx_sb_len);
        const unsigned char* from = sense;
        if (came == 0 && header.status != 0) {
            from = kNoSenseReturned;
            came = std::min<uint32_t>(sizeof kNoSenseReturned, senseLength);
        }
        unsigned char* area = outBytes + request.SenseInfoOffset;
        std::memcpy(area, from, came);
        std::memset(area + came, 0, senseLength - came);
    }
    if (bytesReturned != nullptr)
        *bytesReturned = senseLength != 0 ? request.SenseInfoOffset + senseLength : kRecordSize;
    return true;
}

HostDrives::HostDrives(std::string deviceDirectory, SgIoCall sgIo)
    : deviceDirectory_(std::move(deviceDirectory)), sgIo_(std::move(sgIo)) {}

std::string HostDrives::DevicePath(char letter) const {
    const std::string name = OpticalDeviceName(letter);
    return name.empty() ? std::string{} : deviceDirectory_ + "/" + name;
}

unsigned HostDrives::GetDriveType(const char* root) {
    const std::string path = DevicePath(RootLetter(root));
    struct stat status;
    if (path.empty() || ::stat(path.c_str(), &status) != 0) return DRIVE_NO_ROOT_DIR;
    return DRIVE_CDROM;
}

Handle HostDrives::CreateFile(const char* path, uint32_t /*access*/, uint32_t /*share*/,
                              uint32_t /*disposition*/, uint32_t /*flags*/) {
    const std::string device = DevicePath(DevicePathLetter(path));
    if (device.empty()) return kInvalidHandle;
    // Not inherited by programs the host starts (the log viewer).
    const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kInvalidHandle;
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(fd);
    return fd;
}

bool HostDrives::IsOpen(Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.count(handle) != 0;
}

bool HostDrives::CloseHandle(Handle handle) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_.erase(handle) == 0) return false;
    }
    return ::close(static_cast<int>(handle)) == 0;
}

bool HostDrives::DeviceIoControl(Handle device, uint32_t code, void* in, uint32_t inSize, void* out,
                                 uint32_t outSize, uint32_t* bytesReturned) {
    // Only descriptors CreateFile returned are in the open set, so the
    // handle fits an int once it is found there.
    if (code != IOCTL_SCSI_PASS_THROUGH_DIRECT || !IsOpen(device)) return false;
    return PassThroughDirect(static_cast<int>(device), in, inSize, out, outSize, bytesReturned,
                             sgIo_);
}

}  // namespace platform::host
