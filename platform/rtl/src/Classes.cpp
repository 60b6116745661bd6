#include "rtl/Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rtl/SysUtils.h"

namespace rtl {

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

EConvertError EConvertError::CannotAssign(const std::string& source, const std::string& dest) {
    return EConvertError("Cannot assign a " + source + " to a " + dest);
}

void TPersistent::Assign(const TPersistent* source) {
    if (source != nullptr) {
        source->AssignTo(this);
        return;
    }
    throw EConvertError::CannotAssign("nil", ClassName());
}

void TPersistent::AssignTo(TPersistent* dest) const {
    throw EConvertError::CannotAssign(ClassName(), dest->ClassName());
}

int32_t TInterfacedPersistent::QueryInterface(const TGUID& iid, void** object) {
    if (object == nullptr) return E_NOINTERFACE;
    *object = iid == IID_IUnknown ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
}

int64_t TStream::GetSize() {
    const int64_t position = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw Exception("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw Exception("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    uint8_t chunk[65536];
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, sizeof chunk);
        source.ReadBuffer(chunk, n);
        WriteBuffer(chunk, n);
        left -= n;
    }
    return count;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = GetSize();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > GetSize()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == soCurrent) base = position_;
    if (origin == soEnd) base = GetSize();
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
    position_ = std::min(position_, GetSize());
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    Clear();
    data_.resize(static_cast<size_t>(file.GetSize()));
    file.ReadBuffer(data_.data(), GetSize());
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(data_.data(), GetSize());
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) {
    const char* how = "rb";
    if (mode == fmCreate) how = "w+b";
    else if ((mode & 3) == fmOpenWrite || (mode & 3) == fmOpenReadWrite) how = "r+b";
    file_ = std::fopen(fileName.c_str(), how);
    if (file_ == nullptr) {
        const std::string verb = mode == fmCreate ? "Cannot create file" : "Cannot open file";
        throw EFOpenError(verb + " \"" + fileName + "\". " + std::strerror(errno));
    }
}

TFileStream::~TFileStream() {
    if (file_ != nullptr) std::fclose(file_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    return static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    if (!(origin == soCurrent && offset == 0)) std::fseek(file_, static_cast<long>(offset), whence);
    return static_cast<int64_t>(std::ftell(file_));
}

namespace {

constexpr uint8_t kBinaryValue = 0x0A;

}  // namespace

void WriteSizedBytes(TStream& stream, const TMemoryStream& bytes) {
    if (bytes.Bytes().size() > INT32_MAX) throw EWriteError("Stream write error");
    const auto count = static_cast<uint32_t>(bytes.Bytes().size());
    const uint8_t size[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count >> 16),
                             static_cast<uint8_t>(count >> 24)};
    stream.WriteBuffer(size, 4);
    stream.WriteBuffer(bytes.Memory(), count);
}

std::vector<uint8_t> ReadSizedBytes(TStream& stream) {
    uint8_t size[4];
    if (stream.Read(size, 4) != 4) throw EReadError("Stream read error");
    const uint32_t count = size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint32_t>(size[3]) << 24;
    if (count > static_cast<uint64_t>(std::max<int64_t>(0, stream.GetSize() - stream.GetPosition())))
        throw EReadError("Stream read error");
    std::vector<uint8_t> bytes(count);
    if (stream.Read(bytes.data(), count) != count) throw EReadError("Stream read error");
    return bytes;
}

void TWriter::WriteProperties(TPersistent& instance) {
    instance.DefineProperties(*this);
    const uint8_t end = 0;
    stream_.WriteBuffer(&end, 1);
}

void TWriter::DefineBinaryProperty(const std::string& name, const TStreamProc&, const TStreamProc& writeData,
                                   bool hasData) {
    if (!hasData) return;
    if (name.empty() || name.size() > 255) throw EWriteError("Invalid property name");
    TMemoryStream data;
    writeData(data);
    const uint8_t length = static_cast<uint8_t>(name.size());
    stream_.WriteBuffer(&length, 1);
    stream_.WriteBuffer(name.data(), length);
    stream_.WriteBuffer(&kBinaryValue, 1);
    WriteSizedBytes(stream_, data);
}

void TReader::ReadProperties(TPersistent& instance) {
    auto read = [this](void* buffer, int64_t count) {
        if (stream_.Read(buffer, count) != count) throw EReadError("Stream read error");
    };
    for (;;) {
        uint8_t length = 0;
        read(&length, 1);
        if (length == 0) return;
        property_.assign(length, '\0');
        read(property_.data(), length);
        found_ = false;
        instance.DefineProperties(*this);
        if (!found_) throw EReadError("Property " + property_ + " does not exist");
    }
}

void TReader::DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc&, bool) {
    if (found_ || name != property_) return;
    found_ = true;
    uint8_t kind = 0;
    if (stream_.Read(&kind, 1) != 1) throw EReadError("Stream read error");
    if (kind != kBinaryValue) throw EReadError("Invalid property value");
    TMemoryStream data(ReadSizedBytes(stream_));
    readData(data);
}

}  // namespace rtl
