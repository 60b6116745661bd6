#include "gif/codec/SubBlocks.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace gif::codec {

bool SubBlockReader::Next(std::span<const uint8_t>& data) {
    if (end_ != SubBlockEnd::None) return false;
    if (at_ >= bytes_.size()) {
        end_ = SubBlockEnd::Open;
        return false;
    }
    const size_t size = bytes_[at_];
    if (size == 0) {
        end_ = SubBlockEnd::Terminator;
        return false;
    }
    if (bytes_.size() - at_ - 1 < size) {
        end_ = SubBlockEnd::Cut;
        return false;
    }
    data = bytes_.subspan(at_ + 1, size);
    at_ += 1 + size;
    return true;
}

void SubBlockReader::Extend(std::span<const uint8_t> bytes) {
    bytes_ = bytes;
    if (end_ != SubBlockEnd::Terminator) end_ = SubBlockEnd::None;
}

SubBlockEnd SubBlockReader::Skip() {
    std::span<const uint8_t> data;
    while (Next(data)) {
    }
    return end_;
}

size_t SubBlockReader::Consumed() const {
    switch (end_) {
    case SubBlockEnd::None: return at_;
    case SubBlockEnd::Terminator: return at_ + 1;
    default: return bytes_.size();
    }
}

std::span<const uint8_t> SubBlockReader::Rest() const {
    if (end_ != SubBlockEnd::Cut) return {};
    return bytes_.subspan(at_ + 1);
}

size_t SubBlockReader::Missing() const {
    switch (end_) {
    case SubBlockEnd::Open: return 1;
    case SubBlockEnd::Cut: return at_ + 1 + bytes_[at_] + 1 - bytes_.size();
    default: return 0;
    }
}

void SubBlockWriter::Write(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const size_t n = std::min<size_t>(bytes.size(), static_cast<size_t>(kBlockEnd - fill_));
        std::memcpy(buffer_ + fill_, bytes.data(), n);
        fill_ += static_cast<int>(n);
        bytes = bytes.subspan(n);
        if (fill_ == kBlockEnd) FlushFull();
    }
}

void SubBlockWriter::WriteBytes(uint64_t value, int count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(buffer_ + fill_, &value, sizeof value);
    } else {
        for (int i = 0; i < count; ++i) buffer_[fill_ + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    fill_ += count;
    if (fill_ >= kBlockEnd) FlushFull();
}

void SubBlockWriter::EndBlock() {
    if (fill_ <= 1) return;
    buffer_[0] = static_cast<uint8_t>(fill_ - 1);
    out_.insert(out_.end(), buffer_, buffer_ + fill_);
    fill_ = 1;
}

void SubBlockWriter::Terminate() {
    EndBlock();
    out_.push_back(0);
}

// Sends a full block; the bytes past it start the next one.
void SubBlockWriter::FlushFull() {
    buffer_[0] = 255;
    out_.insert(out_.end(), buffer_, buffer_ + kBlockEnd);
    const int extra = fill_ - kBlockEnd;
    std::memmove(buffer_ + 1, buffer_ + kBlockEnd, static_cast<size_t>(extra));
    fill_ = 1 + extra;
}

}  // namespace gif::codec
