// Module resources: blocks found by module, type and name in any letter
// case, a module's own table before its lookup, and the stream on a block.
#include <gtest/gtest.h>

#include "rtl/Resources.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A module of the test's own, forgotten again at the end.
struct Module {
    explicit Module(rtl::HINSTANCE id) : Id(id) {}
    ~Module() { rtl::RemoveResources(Id); }
    rtl::HINSTANCE Id;
};

TEST(Resources, BlocksAreFoundByModuleTypeAndNameInAnyCase) {
    Module a(101), b(102);
    rtl::AddResource(a.Id, rtl::RT_RCDATA, "Logo", {1, 2, 3});
    rtl::AddResource(a.Id, "GIF", "Logo", {9});
    rtl::AddResource(b.Id, rtl::RT_RCDATA, "LOGO", {4});
    EXPECT_EQ(rtl::FindResource(a.Id, "rcdata", "lOgO"), Bytes({1, 2, 3}));
    EXPECT_EQ(rtl::FindResource(a.Id, "gif", "logo"), Bytes({9}));
    EXPECT_EQ(rtl::FindResource(b.Id, rtl::RT_RCDATA, "logo"), Bytes({4}));
    EXPECT_FALSE(rtl::FindResource(a.Id, rtl::RT_RCDATA, "Other"));
    EXPECT_FALSE(rtl::FindResource(103, rtl::RT_RCDATA, "Logo"));
    // A second block of the same type and name replaces the first.
    rtl::AddResource(a.Id, rtl::RT_RCDATA, "LOGO", {7});
    EXPECT_EQ(rtl::FindResource(a.Id, rtl::RT_RCDATA, "Logo"), Bytes({7}));
    rtl::RemoveResources(a.Id);
    EXPECT_FALSE(rtl::FindResource(a.Id, rtl::RT_RCDATA, "Logo"));
}

TEST(Resources, ALookupServesWhatTheTableDoesNotHold) {
    Module m(111);
    std::vector<std::string> asked;
    rtl::RegisterResourceLookup(m.Id, [&](const std::string& type, const std::string& name) -> std::optional<Bytes> {
        asked.push_back(type + "/" + name);
        if (name == "served") return Bytes{5, 6};
        return std::nullopt;
    });
    rtl::AddResource(m.Id, rtl::RT_RCDATA, "table", {8});
    EXPECT_EQ(rtl::FindResource(m.Id, rtl::RT_RCDATA, "served"), Bytes({5, 6}));
    EXPECT_EQ(rtl::FindResource(m.Id, rtl::RT_RCDATA, "TABLE"), Bytes({8}));
    EXPECT_FALSE(rtl::FindResource(m.Id, rtl::RT_RCDATA, "neither"));
    EXPECT_EQ(asked, (std::vector<std::string>{"RCDATA/served", "RCDATA/neither"}));
    rtl::RegisterResourceLookup(m.Id, {});
    EXPECT_FALSE(rtl::FindResource(m.Id, rtl::RT_RCDATA, "served"));
    EXPECT_EQ(rtl::FindResource(m.Id, rtl::RT_RCDATA, "table"), Bytes({8}));
}

TEST(Resources, AStreamHoldsTheBlockFromItsStart) {
    Module m(121);
    rtl::AddResource(m.Id, rtl::RT_RCDATA, "DATA", {10, 20, 30});
    rtl::TResourceStream stream(m.Id, "data", rtl::RT_RCDATA);
    EXPECT_EQ(stream.GetPosition(), 0);
    EXPECT_EQ(stream.Bytes(), Bytes({10, 20, 30}));
    try {
        rtl::TResourceStream missing(m.Id, "Missing", rtl::RT_RCDATA);
        ADD_FAILURE() << "opened";
    } catch (const rtl::EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource Missing not found");
    }
}

}  // namespace
