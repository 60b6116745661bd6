// Form streams: an object's defined binary properties written and read
// back, their bytes field by field, and the streams a reader refuses.
#include <gtest/gtest.h>

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Two binary properties; "Empty" is written only when it has bytes.
class Holder : public rtl::TPersistent {
public:
    Bytes Data, Empty;
    void DefineProperties(rtl::TFiler& filer) override {
        filer.DefineBinaryProperty("Data", Reader(Data), Writer(Data), !Data.empty());
        filer.DefineBinaryProperty("Empty", Reader(Empty), Writer(Empty), !Empty.empty());
    }

private:
    static rtl::TFiler::TStreamProc Reader(Bytes& into) {
        return [&into](rtl::TStream& stream) {
            into.assign(static_cast<size_t>(stream.GetSize()), 0);
            stream.ReadBuffer(into.data(), stream.GetSize());
        };
    }
    static rtl::TFiler::TStreamProc Writer(const Bytes& from) {
        return [&from](rtl::TStream& stream) { stream.WriteBuffer(from.data(), static_cast<int64_t>(from.size())); };
    }
};

Bytes Written(Holder& holder) {
    rtl::TMemoryStream stream;
    rtl::TWriter(stream).WriteProperties(holder);
    return stream.Bytes();
}

TEST(Filer, BinaryPropertiesRoundTripAndTheirBytes) {
    Holder source;
    source.Data = {0xAA, 0xBB, 0xCC};
    const Bytes bytes = Written(source);
    // Name, binary value marker, 32-bit count, the bytes; a 0 ends the list.
    EXPECT_EQ(bytes, (Bytes{4, 'D', 'a', 't', 'a', 0x0A, 3, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0}));
    Holder copy;
    copy.Empty = {1};
    rtl::TMemoryStream stream(bytes);
    rtl::TReader(stream).ReadProperties(copy);
    EXPECT_EQ(copy.Data, source.Data);
    EXPECT_EQ(copy.Empty, Bytes{1});  // not in the stream: left alone
    EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(bytes.size()));
}

TEST(Filer, ReaderRefusesWhatItCannotRead) {
    struct Case {
        const char* name;
        Bytes stream;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"unknown property", {5, 'O', 't', 'h', 'e', 'r', 0x0A, 0, 0, 0, 0, 0}, "Property Other does not exist"},
        {"another kind of value", {4, 'D', 'a', 't', 'a', 0x02, 7, 0}, "Invalid property value"},
        {"count beyond the stream", {4, 'D', 'a', 't', 'a', 0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, "Stream read error"},
        {"cut inside the name", {4, 'D', 'a'}, "Stream read error"},
        {"no end of the list", {4, 'D', 'a', 't', 'a', 0x0A, 1, 0, 0, 0, 9}, "Stream read error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Holder holder;
        rtl::TMemoryStream stream(c.stream);
        try {
            rtl::TReader(stream).ReadProperties(holder);
            ADD_FAILURE() << "read";
        } catch (const rtl::EReadError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
}

}  // namespace
