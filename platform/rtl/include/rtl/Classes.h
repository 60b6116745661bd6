// Objects, persistent assignment and streams of the class library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rtl {

// Base of every object that can be a sender or be assigned.
class TObject {
public:
    virtual ~TObject() = default;
    virtual std::string ClassName() const { return "TObject"; }
};

// An object whose content can be copied from another one.  Assign asks the
// source to assign itself to this object; when neither side knows the other,
// EConvertError "Cannot assign a X to a Y" is raised.
class TPersistent : public TObject {
public:
    virtual void Assign(const TPersistent* source);
    std::string ClassName() const override { return "TPersistent"; }

protected:
    virtual void AssignTo(TPersistent* dest) const;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream with a position.  Read returns how many bytes arrived.
class TStream : public TObject {
public:
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    virtual int64_t GetSize();
    // Raise EReadError / EWriteError texts when short.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes (all from the position on when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);
    std::string ClassName() const override { return "TStream"; }
};

// A stream held in memory; the position may lie beyond the end (reads then
// give nothing, a write fills the gap with zeros).
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }

    void SetSize(int64_t size);
    void Clear();
    const uint8_t* Memory() const { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    std::string ClassName() const override { return "TMemoryStream"; }

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// File open modes as the class library has them.
enum : uint16_t {
    fmCreate = 0xFF00,
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyWrite = 0x0020,
};

// A stream on a file.  fmCreate creates or truncates; the share modes are
// advisory on Linux and ignored.  A file that cannot be opened raises
// EFOpenError with the file name and the system's reason.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    std::string ClassName() const override { return "TFileStream"; }

private:
    std::FILE* file_ = nullptr;
};

}  // namespace rtl
