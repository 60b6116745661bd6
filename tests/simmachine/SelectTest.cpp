// Choosing the machine at start-up from SIMULATED_MACHINE.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "platform/Win.h"
#include "simdrive/Select.h"

namespace {

using namespace simtest;

class Select : public testing::Test {
protected:
    ~Select() override {
        ::unsetenv("SIMULATED_MACHINE");
        platform::Uninstall();
    }
    TempDir dir_;
};

TEST_F(Select, TheNamedDescriptionIsInstalledAndAnnounced) {
    const std::string path = dir_.Write("m.txt", "language 0x412\ndrive e:\n");
    ::setenv("SIMULATED_MACHINE", path.c_str(), 1);
    std::string error;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(sim::InstallPlatform(error)) << error;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "simulated machine: " + path + "\n");
    ASSERT_NE(sim::InstalledSimMachine(), nullptr);
    EXPECT_NE(sim::InstalledSimMachine()->DriveAtLetter('e'), nullptr);
    EXPECT_EQ(win::GetSystemDefaultLangID(), 0x412);
    EXPECT_EQ(win::GetDriveTypeA("e:"), platform::DRIVE_CDROM);

    // A second machine replaces the first.
    const std::string other = dir_.Write("n.txt", "language 0x409\n");
    ::setenv("SIMULATED_MACHINE", other.c_str(), 1);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(sim::InstallPlatform(error)) << error;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(win::GetSystemDefaultLangID(), 0x409);
    EXPECT_EQ(sim::InstalledSimMachine()->DriveAtLetter('e'), nullptr);
}

TEST_F(Select, ADescriptionThatCannotBeLoadedInstallsNothing) {
    for (const std::string& path : {dir_.Write("bad.txt", "platform os2\n"), dir_.File("missing.txt"),
                                    std::string()}) {
        SCOPED_TRACE(path);
        ::setenv("SIMULATED_MACHINE", path.c_str(), 1);
        std::string error;
        EXPECT_FALSE(sim::InstallPlatform(error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(platform::IsInstalled());
    }
}

TEST_F(Select, WithoutTheVariableTheHostIsInstalled) {
    ::unsetenv("SIMULATED_MACHINE");
    std::string error;
    ASSERT_TRUE(sim::InstallPlatform(error)) << error;
    EXPECT_TRUE(platform::IsInstalled());
    EXPECT_EQ(sim::InstalledSimMachine(), nullptr);
}

}  // namespace
