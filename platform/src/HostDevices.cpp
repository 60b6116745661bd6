// Optical drives of the Linux host: drive letters over /dev/srN, device
// descriptors as handles, and the pass-through-direct request over SG_IO.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

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
constexpr unsigned kDriverTimeout = 0x06;
constexpr unsigned kDriverSense = 0x08;

// Host adapter verdicts (host_status).
constexpr unsigned kHostNoConnect = 0x01;
constexpr unsigned kHostBusBusy = 0x02;
constexpr unsigned kHostTimeOut = 0x03;
constexpr unsigned kHostBadTarget = 0x04;

// Operation codes C0h-FFh belong to the drive's maker.
constexpr uint8_t kFirstVendorOpcode = 0xC0;

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

void ReportOnStderr(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

void BuildSgIoHeader(PassThroughRequest& request, sg_io_hdr& header) {
    header = sg_io_hdr{};
    header.interface_id = 'S';
    const bool data = request.DataLength != 0;
    header.dxfer_direction = !data ? SG_DXFER_NONE
                             : request.Direction == TransferDirection::Out ? SG_DXFER_TO_DEV
                                                                            : SG_DXFER_FROM_DEV;
    header.cmd_len = request.CdbLength;
    header.cmdp = request.Cdb;
    header.dxfer_len = data ? request.DataLength : 0;
    header.dxferp = data ? request.Data : nullptr;
    header.mx_sb_len = static_cast<unsigned char>(std::min(request.SenseRoom, kMaxSenseBytes));
    header.sbp = request.Sense;
    header.timeout = static_cast<unsigned>(
        std::min<uint64_t>(uint64_t{request.TimeoutSeconds} * 1000, UINT_MAX));
}

void TakeSgIoReply(const sg_io_hdr& header, int callResult, int callErrno,
                   PassThroughRequest& request) {
    if (callResult < 0) {
        request.OsError = callErrno != 0 ? callErrno : EIO;
        return;
    }
    switch (header.host_status) {
        case 0: break;
        case kHostNoConnect:
        case kHostBadTarget: request.OsError = ENODEV; return;
        case kHostBusBusy: request.OsError = EBUSY; return;
        case kHostTimeOut: request.OsError = ETIMEDOUT; return;
        default: request.OsError = EIO; return;
    }
    const unsigned driver = header.driver_status & kDriverStatusMask;
    if (driver != kDriverOk && driver != kDriverSense) {
        request.OsError = driver == kDriverTimeout ? ETIMEDOUT : EIO;
        return;
    }
    request.OsError = 0;
    request.Status = header.status;
    request.SenseLength = std::min<uint32_t>(header.sb_len_wr, header.mx_sb_len);
    // A residual the driver cannot mean (negative, or past the length) is
    // held to the length.
    request.Residual = header.resid <= 0
                           ? 0
                           : std::min(static_cast<uint32_t>(header.resid), request.DataLength);
}

void SendSgIo(int fd, PassThroughRequest& request, const SgIoCall& sgIo) {
    sg_io_hdr header;
    BuildSgIoHeader(request, header);
    errno = 0;
    const int result = sgIo(fd, header);
    TakeSgIoReply(header, result, errno, request);
}

bool PassThroughDirect(int fd, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned, const SgIoCall& sgIo, int* osError) {
    return CarryPassThroughDirect(
        in, inSize, out, outSize, bytesReturned,
        [&](PassThroughRequest& request) { SendSgIo(fd, request, sgIo); }, osError);
}

// ---------------------------------------------------------------------------
// Texts

namespace {

std::string Hex2(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string InParentheses(const std::string& advice) { return advice.empty() ? "" : " (" + advice + ")"; }

}  // namespace

std::string AccessAdvice(const NodeOwnership& node, const UserIdentity& user, NodeAccess access) {
    // The permission bit of the access for the owner; the group's and the
    // others' lie 3 and 6 bits below it.
    const uint32_t ownerBit = access == NodeAccess::Read ? 0400 : 0200;
    const uint32_t groupBit = ownerBit >> 3;
    const uint32_t otherBit = ownerBit >> 6;
    const std::string what = access == NodeAccess::Read ? "read" : "write";
    const std::string group = node.GroupName.empty() ? "#" + std::to_string(node.Group) : node.GroupName;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.Mode & 07777));
    const bool inGroup = std::find(user.Groups.begin(), user.Groups.end(), node.Group) != user.Groups.end();

    bool allowed;
    if (user.Uid == 0)
        allowed = true;
    else if (user.Uid == node.Owner)
        allowed = (node.Mode & ownerBit) != 0;
    else if (inGroup)
        allowed = (node.Mode & groupBit) != 0;
    else
        allowed = (node.Mode & otherBit) != 0;
    if (allowed) return "its mode " + std::string(mode) + " allows it: an ACL or a security module refuses it";
    if (user.Uid == node.Owner)
        return "its mode " + std::string(mode) + " denies its owner " + what + " access: change the node's mode";
    if ((node.Mode & groupBit) != 0) {
        if (user.ListedInNodeGroup && !inGroup)
            return "the user is in group " + group + " since this login began: log in again";
        if (!inGroup) return "add the user to group " + group;
    }
    return "its mode " + std::string(mode) + " gives group " + group + " no " + what +
           " access: change the node's mode (a udev rule) or run as root";
}

std::string SystemAccessAdvice(const std::string& path, NodeAccess access) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return {};
    NodeOwnership node;
    node.Mode = status.st_mode;
    node.Owner = status.st_uid;
    node.Group = status.st_gid;
    UserIdentity user;
    user.Uid = ::getuid();
    user.Groups.push_back(::getegid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        const int got = ::getgroups(count, groups.data());
        for (int i = 0; i < got; ++i) user.Groups.push_back(groups[static_cast<size_t>(i)]);
    }
    std::vector<char> buffer(16384);
    passwd account;
    passwd* foundAccount = nullptr;
    const bool known = ::getpwuid_r(user.Uid, &account, buffer.data(), buffer.size(), &foundAccount) == 0 &&
                       foundAccount != nullptr;
    const std::string name = known ? account.pw_name : "";
    user.ListedInNodeGroup = known && account.pw_gid == status.st_gid;
    std::vector<char> groupBuffer(16384);
    group entry;
    group* foundGroup = nullptr;
    if (::getgrgid_r(status.st_gid, &entry, groupBuffer.data(), groupBuffer.size(), &foundGroup) == 0 &&
        foundGroup != nullptr) {
        node.GroupName = entry.gr_name;
        for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member)
            if (known && name == *member) user.ListedInNodeGroup = true;
    }
    return AccessAdvice(node, user, access);
}

std::string OpenFailureText(const std::string& path, int osError, const std::string& advice) {
    const std::string head = "cannot open " + path + ": ";
    switch (osError) {
        case EACCES:
        case EPERM:
            return head + "permission denied" + InParentheses(advice);
        case ENOENT:
        case ENODEV:
        case ENXIO: return head + "no such device";
        case EBUSY: return head + "the device is busy (another program holds it)";
        default: return head + std::strerror(osError);
    }
}

std::string ReadOnlyOpenText(const std::string& path, const std::string& advice) {
    return path + ": opened read-only, the user may not write to it" + InParentheses(advice) +
           "; commands that need write access will fail";
}

std::string CommandFailureText(const std::string& path, int osError, uint8_t opcode, bool readOnly,
                               uint32_t length) {
    const std::string head = path + ": ";
    const std::string command = "command " + Hex2(opcode) + "h";
    switch (osError) {
        case EPERM:
        case EACCES:
            if (opcode >= kFirstVendorOpcode)
                return head + "the kernel refused the vendor command (needs root or CAP_SYS_RAWIO)";
            if (readOnly)
                return head + "the kernel refused " + command +
                       ": the device is open read-only (needs write access to " + path +
                       ", or root)";
            return head + "the kernel refused " + command + " (needs root or CAP_SYS_RAWIO)";
        case ENODEV:
        case ENXIO: return head + "the drive is gone or does not answer (" + command + ")";
        case ETIMEDOUT: return head + command + " timed out";
        case EBUSY: return head + "the drive or its bus is busy (" + command + ")";
        case EIO: return head + command + " failed: input/output error (the drive or its connection failed)";
        // The kernel gives no reason; with data, the usual one is a transfer
        // the device queue cannot take in one request.
        case EINVAL:
            if (length != 0)
                return head + "the kernel refused " + command + " as invalid: its transfer of " +
                       std::to_string(length) + " bytes is likely more than the device queue takes at once";
            return head + "the kernel refused " + command + " as invalid";
        default: return head + command + " failed: " + std::strerror(osError);
    }
}

std::string OptionalQueryText(const std::string& path, uint8_t opcode) {
    const std::string tail = " (needs root or CAP_SYS_RAWIO); the query is optional, nothing failed";
    if (opcode >= kFirstVendorOpcode)
        return path + ": drive-specific information is not shown: the kernel refused the drive's vendor query" +
               tail;
    return path + ": the information of command " + Hex2(opcode) + "h is not shown: the kernel refused it" + tail;
}

std::string TransferLimitText(const std::string& path, uint8_t opcode, uint32_t length, uint32_t limit) {
    return path + ": command " + Hex2(opcode) + "h would move " + std::to_string(length) +
           " bytes, more than the device takes at once (" + std::to_string(limit) +
           " bytes); not sent";
}

namespace {

// The number a block queue file holds, held at `largest`; 0 for any other text.
uint64_t ParseQueueNumber(const std::string& text, uint64_t largest) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        value = std::min(value * 10 + static_cast<uint64_t>(text[i] - '0'), largest);
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
    if (digits == 0 || i != text.size()) return 0;
    return value;
}

}  // namespace

uint32_t ParseQueueLimitKiB(const std::string& text) {
    // A limit past what a request can ask for is held at the largest.
    constexpr uint64_t kLargestKiB = UINT32_MAX / 1024 + 1;
    return static_cast<uint32_t>(std::min<uint64_t>(ParseQueueNumber(text, kLargestKiB) * 1024, UINT32_MAX));
}

uint32_t ParseQueueCount(const std::string& text) {
    return static_cast<uint32_t>(ParseQueueNumber(text, UINT32_MAX));
}

uint32_t LargestTransfer(uint32_t sectorLimitBytes, uint32_t maxSegments, uint32_t pageBytes) {
    uint32_t limit = sectorLimitBytes;
    if (maxSegments != 0 && pageBytes != 0) {
        const uint64_t pages = std::max<uint32_t>(maxSegments - 1, 1);
        const uint32_t segmentLimit = static_cast<uint32_t>(std::min<uint64_t>(pages * pageBytes, UINT32_MAX));
        limit = limit == 0 ? segmentLimit : std::min(limit, segmentLimit);
    }
    return limit;
}

// ---------------------------------------------------------------------------

int SystemOpen(const std::string& path, int flags) { return ::open(path.c_str(), flags); }

uint32_t SystemPageBytes() {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<uint32_t>(size) : 4096;
}

HostDrives::HostDrives(HostDriveSystem system) : system_(std::move(system)) {}

std::string HostDrives::DevicePath(char letter) const {
    const std::string name = OpticalDeviceName(letter);
    return name.empty() ? std::string{} : system_.DeviceDirectory + "/" + name;
}

void HostDrives::Report(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (line == lastReport_) return;
        lastReport_ = line;
    }
    if (system_.Report) system_.Report(line);
}

void HostDrives::ReportOnce(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!saidOnce_.insert(line).second) return;
    }
    if (system_.Report) system_.Report(line);
}

uint32_t HostDrives::ReadTransferLimit(const std::string& deviceName) const {
    const auto read = [&](const char* file) {
        std::ifstream in(system_.BlockDirectory + "/" + deviceName + "/queue/" + file);
        return in ? std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()} : std::string{};
    };
    uint32_t sectors = ParseQueueLimitKiB(read("max_hw_sectors_kb"));
    if (sectors == 0) sectors = ParseQueueLimitKiB(read("max_sectors_kb"));
    return LargestTransfer(sectors, ParseQueueCount(read("max_segments")), system_.PageBytes);
}

unsigned HostDrives::GetDriveType(const char* root) {
    const std::string path = DevicePath(RootLetter(root));
    struct stat status;
    if (path.empty() || ::stat(path.c_str(), &status) != 0) return DRIVE_NO_ROOT_DIR;
    return DRIVE_CDROM;
}

Handle HostDrives::CreateFile(const char* path, uint32_t /*access*/, uint32_t /*share*/,
                              uint32_t /*disposition*/, uint32_t /*flags*/) {
    const char letter = DevicePathLetter(path);
    const std::string device = DevicePath(letter);
    if (device.empty()) return kInvalidHandle;
    // Not inherited by programs the host starts (the log viewer).
    constexpr int kFlags = O_NONBLOCK | O_CLOEXEC;
    OpenNode node;
    node.Path = device;
    int fd = system_.Open(device, O_RDWR | kFlags);
    // Only a refused permission has advice; a read-only file system has none.
    const bool writeDenied = fd < 0 && (errno == EACCES || errno == EPERM);
    if (fd < 0 && (writeDenied || errno == EROFS)) {
        // A user who may only read the node can still list and read the
        // drive (INQUIRY and the other reads need no write access).
        fd = system_.Open(device, O_RDONLY | kFlags);
        node.ReadOnly = fd >= 0;
    }
    if (fd < 0) {
        const int error = errno;
        // A missing node is a letter without a drive, nothing to report.
        if (error != ENOENT) {
            const bool denied = (error == EACCES || error == EPERM) && system_.Advice;
            Report(OpenFailureText(device, error, denied ? system_.Advice(device, NodeAccess::Read) : ""));
        }
        return kInvalidHandle;
    }
    if (node.ReadOnly) {
        const bool advise = writeDenied && system_.Advice;
        Report(ReadOnlyOpenText(device, advise ? system_.Advice(device, NodeAccess::Write) : ""));
    }
    node.MaxTransfer = ReadTransferLimit(OpticalDeviceName(letter));
    std::lock_guard<std::mutex> lock(mutex_);
    open_[fd] = std::move(node);
    return fd;
}

bool HostDrives::FindOpen(Handle handle, OpenNode& node) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(handle);
    if (it == open_.end()) return false;
    node = it->second;
    return true;
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
    OpenNode node;
    if (code != IOCTL_SCSI_PASS_THROUGH_DIRECT || !FindOpen(device, node)) return false;
    const int fd = static_cast<int>(device);
    return CarryPassThroughDirect(in, inSize, out, outSize, bytesReturned,
                                  [&](PassThroughRequest& request) {
                                      const uint8_t opcode = request.Cdb[0];
                                      if (node.MaxTransfer != 0 && request.DataLength > node.MaxTransfer) {
                                          request.OsError = EOVERFLOW;
                                          Report(TransferLimitText(node.Path, opcode, request.DataLength,
                                                                   node.MaxTransfer));
                                          return;
                                      }
                                      SendSgIo(fd, request, system_.SgIo);
                                      const int error = request.OsError;
                                      if (error == 0) return;
                                      if (OptionalQuery::Active() && (error == EPERM || error == EACCES))
                                          ReportOnce(OptionalQueryText(node.Path, opcode));
                                      else
                                          Report(CommandFailureText(node.Path, error, opcode, node.ReadOnly,
                                                                    request.DataLength));
                                  });
}

}  // namespace platform::host
