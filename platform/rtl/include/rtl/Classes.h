// Objects, persistent assignment and streams of the class library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

// Base of every object that can be a sender or be assigned.
class TObject {
public:
    virtual ~TObject() = default;
    virtual std::string ClassName() const { return "TObject"; }
};

class TFiler;

// An object whose content can be copied from another one.  Assign asks the
// source to assign itself to this object; when neither side knows the other,
// EConvertError "Cannot assign a X to a Y" is raised.  DefineProperties
// names the data a form stream keeps for it beyond its published properties
// (none here).
class TPersistent : public TObject {
public:
    virtual void Assign(const TPersistent* source);
    virtual void DefineProperties(TFiler&) {}
    std::string ClassName() const override { return "TPersistent"; }

protected:
    virtual void AssignTo(TPersistent* dest) const;
};

// An interface identifier, and the results of an interface query.
struct TGUID {
    uint32_t D1;
    uint16_t D2;
    uint16_t D3;
    uint8_t D4[8];
    bool operator==(const TGUID&) const = default;
};
inline constexpr TGUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr int32_t S_OK = 0;
inline constexpr int32_t E_NOINTERFACE = static_cast<int32_t>(0x80004002u);

// A persistent object that answers interface queries.  It lives as long as
// its owner keeps it, not by a reference count, so a query hands out the
// object itself and counts nothing.  The only interface it implements is
// IUnknown.
class TInterfacedPersistent : public TPersistent {
public:
    // S_OK with the object for IUnknown; E_NOINTERFACE with null otherwise.
    virtual int32_t QueryInterface(const TGUID& iid, void** object);
    std::string ClassName() const override { return "TInterfacedPersistent"; }
};

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

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

// A block of data as form streams keep it: a 32-bit little-endian byte
// count, then the bytes.  Writing raises EWriteError for 2^31 bytes or more;
// reading raises EReadError when the stream holds fewer bytes than the count
// says, before anything is allocated.
void WriteSizedBytes(TStream& stream, const TMemoryStream& bytes);
std::vector<uint8_t> ReadSizedBytes(TStream& stream);

// What an object's DefineProperties talks to while a form stream is written
// or read.
class TFiler {
public:
    using TStreamProc = std::function<void(TStream&)>;
    virtual ~TFiler() = default;
    // A property of raw bytes.  Writing: when hasData, writeData fills a
    // stream whose bytes the form stream keeps under name.  Reading: when
    // the form stream holds name, readData reads a stream of those bytes.
    virtual void DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                                      const TStreamProc& writeData, bool hasData) = 0;
};

// Writes an object's defined properties: per property its name (a length
// byte and the characters), the binary value marker 0x0A, a 32-bit
// little-endian byte count and the bytes; a 0 byte ends the list.
class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream) : stream_(stream) {}
    void WriteProperties(TPersistent& instance);
    void DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

private:
    TStream& stream_;
};

// Reads what TWriter wrote into an object.  A property the object does not
// define, or another kind of value, raises EReadError; so does a stream cut
// short.
class TReader : public TFiler {
public:
    explicit TReader(TStream& stream) : stream_(stream) {}
    void ReadProperties(TPersistent& instance);
    void DefineBinaryProperty(const std::string& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

private:
    TStream& stream_;
    std::string property_;  // the one being read
    bool found_ = false;
};

}  // namespace rtl
