// The firmware the simulated drive holds: the factory image, taking a
// downloaded image, and the text record that carries the state from one
// program run to the next.
#include <cctype>
#include <cstdio>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>

#include "SimDriveImpl.h"
#include "simdrive/FirmwareImage.h"

namespace sim {

namespace {

constexpr const char* kRecordHeader = "simdrive-firmware 1";
constexpr size_t kMostRecordLines = 32;

void Summarise(SimDrive::Firmware& fw, const uint8_t* image, size_t size, size_t trailerAt) {
    fw.ParameterChecksum = Sum16(image + trailerAt, kTrailerBytes);
    fw.ProgramChecksum = static_cast<uint16_t>(Sum16(image, size) - fw.ParameterChecksum);
    fw.ImageSize = static_cast<uint32_t>(size);
    fw.ImageHash = Fnv1a64(image, size);
}

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string text;
    char digits[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

std::string Hex(const std::string& text) {
    return Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Exactly 2 * size hexadecimal digits.
bool ParseHex(const std::string& text, size_t size, uint8_t* out) {
    if (text.size() != 2 * size) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
    return true;
}

bool ParseHexText(const std::string& text, size_t size, std::string& out) {
    std::string bytes(size, '\0');
    if (!ParseHex(text, size, reinterpret_cast<uint8_t*>(bytes.data()))) return false;
    out = bytes;
    return true;
}

bool ParseFlag(const std::string& text, bool& out) {
    if (text != "0" && text != "1") return false;
    out = text == "1";
    return true;
}

bool ParseWord(const std::string& text, uint16_t& out) {
    uint8_t bytes[2];
    if (!ParseHex(text, 2, bytes)) return false;
    out = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return true;
}

bool ParseChecksums(const std::string& text, SimDrive::Firmware& fw) {
    std::istringstream in(text);
    std::string program, boot, parameter, rest;
    in >> program >> boot >> parameter;
    return !(in >> rest) && ParseWord(program, fw.ProgramChecksum) && ParseWord(boot, fw.BootChecksum) &&
           ParseWord(parameter, fw.ParameterChecksum);
}

bool ParseImage(const std::string& text, SimDrive::Firmware& fw) {
    std::istringstream in(text);
    std::string size, hash, rest;
    in >> size >> hash;
    if ((in >> rest) || size.empty() || size.size() > 10) return false;
    for (char c : size)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    const unsigned long long value = std::stoull(size);
    uint8_t hashBytes[8];
    if (value > UINT32_MAX || !ParseHex(hash, 8, hashBytes)) return false;
    fw.ImageSize = static_cast<uint32_t>(value);
    fw.ImageHash = 0;
    for (uint8_t b : hashBytes) fw.ImageHash = fw.ImageHash << 8 | b;
    return true;
}

// One line, without the carriage return of a record written on Windows.
bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

using FieldParser = bool (*)(const std::string&, SimDrive::Firmware&);

struct RecordField {
    const char* Key;
    FieldParser Parse;
    const char* Expected;
};

const RecordField kRecordFields[] = {
    {"revision", [](const std::string& v, SimDrive::Firmware& fw) { return ParseHexText(v, 4, fw.Revision); },
     "8 hexadecimal digits"},
    {"code", [](const std::string& v, SimDrive::Firmware& fw) { return ParseHexText(v, 3, fw.Code); },
     "6 hexadecimal digits"},
    {"fc-code", [](const std::string& v, SimDrive::Firmware& fw) { return ParseHex(v, 2, fw.FcCode); },
     "4 hexadecimal digits"},
    {"boot-code", [](const std::string& v, SimDrive::Firmware& fw) { return ParseFlag(v, fw.BootCode); },
     "0 or 1"},
    {"flash-mode", [](const std::string& v, SimDrive::Firmware& fw) { return ParseFlag(v, fw.FlashMode); },
     "0 or 1"},
    {"boot-rewrite", [](const std::string& v, SimDrive::Firmware& fw) { return ParseFlag(v, fw.BootRewrite); },
     "0 or 1"},
    {"checksums", &ParseChecksums, "three 4-digit hexadecimal checksums"},
    {"image", &ParseImage, "a size in bytes and a 16-digit hexadecimal hash"},
};

}  // namespace

void SimDrive::Impl::EnsureHeldImage() const {
    if (HeldImageKnown) return;
    FirmwareImageLayout layout;
    layout.Model = Model();
    layout.Revision = Config.Revision;
    layout.Code = Config.Code;
    layout.FcMarker = Config.FcCode[0] != 0 || Config.FcCode[1] != 0;
    layout.FcCode[0] = Config.FcCode[0];
    layout.FcCode[1] = Config.FcCode[1];
    const std::vector<uint8_t> image = BuildFirmwareImage(layout);
    Summarise(Fw, image.data(), image.size(), image.size() - kTrailerBytes);
    Fw.BootChecksum = Sum16(image.data() + kBootBlockOffset, kBootBlockBytes);
    HeldImageKnown = true;
}

void SimDrive::Impl::TakeImage(const uint8_t* image, size_t size, size_t trailerAt) {
    const uint8_t* trailer = image + trailerAt;
    Config.Revision.assign(reinterpret_cast<const char*>(trailer + 24), 4);
    Config.Code.assign(reinterpret_cast<const char*>(trailer + 32), 3);
    for (char& c : Config.Code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // An image without the marker carries no FC code; the drive keeps its own.
    if (trailer[42] == 'F' && trailer[43] == 'C') {
        Config.FcCode[0] = trailer[44];
        Config.FcCode[1] = trailer[45];
    }
    Summarise(Fw, image, size, trailerAt);
    Fw.BootCode = false;
    Fw.FlashMode = false;
    Fw.BootRewrite = false;
}

void SimDrive::Impl::EndDownload(bool refused) {
    if (Download.Open && refused) Fw.BootCode = Download.BootCodeBefore;
    Download = Session{};
}

void SimDrive::SaveFirmware(std::ostream& out) const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    const Firmware& fw = impl_->Snapshot();
    char line[64];
    out << kRecordHeader << '\n'
        << "revision " << Hex(fw.Revision) << '\n'
        << "code " << Hex(fw.Code) << '\n'
        << "fc-code " << Hex(fw.FcCode, 2) << '\n'
        << "boot-code " << fw.BootCode << '\n'
        << "flash-mode " << fw.FlashMode << '\n'
        << "boot-rewrite " << fw.BootRewrite << '\n';
    std::snprintf(line, sizeof line, "checksums %04X %04X %04X\n", fw.ProgramChecksum, fw.BootChecksum,
                  fw.ParameterChecksum);
    out << line;
    std::snprintf(line, sizeof line, "image %u %016llX\n", static_cast<unsigned>(fw.ImageSize),
                  static_cast<unsigned long long>(fw.ImageHash));
    out << line;
}

bool SimDrive::LoadFirmware(std::istream& in, std::string& error) {
    std::string line;
    if (!ReadLine(in, line) || line != kRecordHeader) {
        error = std::string("firmware record: the first line must be \"") + kRecordHeader + "\"";
        return false;
    }
    std::map<std::string, std::string> values;
    for (size_t number = 2; ReadLine(in, line); ++number) {
        if (number > kMostRecordLines) {
            error = "firmware record: more than " + std::to_string(kMostRecordLines) + " lines";
            return false;
        }
        if (line.empty()) continue;
        const size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (!values.emplace(key, value).second) {
            error = "firmware record line " + std::to_string(number) + ": \"" + key + "\" given twice";
            return false;
        }
    }
    Firmware loaded;
    for (const RecordField& field : kRecordFields) {
        const auto value = values.find(field.Key);
        if (value == values.end()) {
            error = std::string("firmware record: \"") + field.Key + "\" is missing";
            return false;
        }
        if (!field.Parse(value->second, loaded)) {
            error = std::string("firmware record: \"") + field.Key + "\" must be " + field.Expected;
            return false;
        }
        values.erase(value);
    }
    if (!values.empty()) {
        error = "firmware record: unknown entry \"" + values.begin()->first + "\"";
        return false;
    }
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    Impl& d = *impl_;
    d.Config.Revision = loaded.Revision;
    d.Config.Code = loaded.Code;
    d.Config.FcCode[0] = loaded.FcCode[0];
    d.Config.FcCode[1] = loaded.FcCode[1];
    d.Fw = loaded;
    d.HeldImageKnown = true;
    d.Download = Impl::Session{};
    return true;
}

}  // namespace sim
