// The state file that keeps the drives' firmware between runs.
//
// Format: comment lines starting with '#', and one record per drive:
//
//   drive d: 158
//   <158 bytes: the drive's firmware record, as SimDrive::SaveFirmware writes it>
//
//   drive aspi 0 3 158
//   <158 bytes>
//
// The header names the drive ("x:" or "aspi <adapter> <target>") and the byte
// count of the record that follows it; one line break ends the record.  The
// count frames the record, so the record may hold any text.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "SimMachineImpl.h"

namespace sim {

namespace {

// No drive's firmware record comes anywhere near this; a larger count is a
// damaged file, not a reason to allocate.
constexpr size_t kMaxRecordBytes = 1 << 20;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool ParseCount(const std::string& text, size_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    return true;
}

bool ParseByte(const std::string& text, uint8_t& value) {
    size_t v = 0;
    if (!ParseCount(text, v) || v > 255) return false;
    value = static_cast<uint8_t>(v);
    return true;
}

// The drive key of a header's words (without "drive" and the count), in its
// normal form; empty when malformed.
std::string KeyOfWords(const std::vector<std::string>& w, size_t first, size_t last) {
    const size_t n = last - first;
    if (n == 1 && w[first].size() == 2 && w[first][1] == ':' && w[first][0] >= 'a' &&
        w[first][0] <= 'z')
        return w[first];
    uint8_t adapter = 0, target = 0;
    if (n == 3 && w[first] == "aspi" && ParseByte(w[first + 1], adapter) &&
        ParseByte(w[first + 2], target))
        return "aspi " + std::to_string(adapter) + " " + std::to_string(target);
    return {};
}

// Writes the whole text to a temporary file next to the target and renames it
// over the target, so that an interrupted write leaves the old file whole.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write state file " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write state file " + temporary + ": " +
                std::strerror(written ? errno : writeErrno);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace state file " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string FirmwareStateFile::KeyOf(const SimMachine::AttachedDrive& drive) {
    if (drive.Letter) return std::string(1, *drive.Letter) + ":";
    return "aspi " + std::to_string(drive.Adapter) + " " + std::to_string(drive.Target);
}

bool FirmwareStateFile::Open(const std::string& path, const std::vector<SimMachine::AttachedDrive>& drives,
                     std::string& error) {
    std::map<std::string, std::string> records;
    std::error_code exists;
    if (std::filesystem::exists(path, exists)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read state file " + path;
            return false;
        }
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const auto where = [&] { return "state file " + path + ":" + std::to_string(number) + ": "; };
            const std::vector<std::string> w = Words(line);
            if (w.empty() || w[0][0] == '#') continue;
            size_t count = 0;
            const std::string key = w.size() >= 3 && w[0] == "drive" ? KeyOfWords(w, 1, w.size() - 1) : "";
            if (key.empty() || !ParseCount(w.back(), count)) {
                error = where() + "expected \"drive <x:> <bytes>\" or \"drive aspi <adapter> <target> <bytes>\"";
                return false;
            }
            if (count > kMaxRecordBytes) {
                error = where() + "record of drive " + key + " is too long (" + w.back() + " bytes)";
                return false;
            }
            if (records.count(key) != 0) {
                error = where() + "drive " + key + " has a second record";
                return false;
            }
            std::string record(count, '\0');
            in.read(record.data(), static_cast<std::streamsize>(count));
            if (static_cast<size_t>(in.gcount()) != count) {
                error = where() + "record of drive " + key + " is cut short";
                return false;
            }
            const int next = in.get();
            if (next != '\n' && next != std::char_traits<char>::eof()) {
                error = where() + "record of drive " + key + " is longer than its " + w.back() + " bytes";
                return false;
            }
            // The record's own lines and its closing line break.
            number += static_cast<int>(std::count(record.begin(), record.end(), '\n')) + 1;
            records.emplace(key, std::move(record));
        }
        if (in.bad()) {
            error = "cannot read state file " + path;
            return false;
        }
    } else if (exists) {
        error = "cannot read state file " + path + ": " + exists.message();
        return false;
    }

    // Load every record, or none: a drive that refuses its record puts the
    // drives loaded before it back as they were.
    std::vector<std::pair<SimDrive*, std::string>> before;
    for (const SimMachine::AttachedDrive& drive : drives) {
        auto it = records.find(KeyOf(drive));
        if (it == records.end()) continue;
        std::ostringstream saved;
        drive.Drive->SaveFirmware(saved);
        std::istringstream record(it->second);
        std::string why;
        if (!drive.Drive->LoadFirmware(record, why)) {
            for (auto& [loaded, old] : before) {
                std::istringstream back(old);
                std::string ignored;
                loaded->LoadFirmware(back, ignored);
            }
            error = "state file " + path + ": firmware record of drive " + it->first + ": " + why;
            return false;
        }
        before.emplace_back(drive.Drive, saved.str());
        records.erase(it);
    }

    std::lock_guard<std::mutex> lock(lock_);
    path_ = path;
    drives_ = drives;
    foreign_ = std::move(records);
    return true;
}

bool FirmwareStateFile::Write(std::string& error) {
    std::lock_guard<std::mutex> lock(lock_);
    std::map<std::string, std::string> records = foreign_;
    for (const SimMachine::AttachedDrive& drive : drives_) {
        std::ostringstream record;
        drive.Drive->SaveFirmware(record);
        records[KeyOf(drive)] = record.str();
    }
    std::string text = "# Firmware of the simulated drives, rewritten after every change.\n";
    for (const auto& [key, record] : records)
        text += "drive " + key + " " + std::to_string(record.size()) + "\n" + record + "\n";
    return ReplaceFile(path_, text, error);
}

}  // namespace sim
