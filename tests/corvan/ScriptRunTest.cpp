// The headless run the README shows: the shipped machine names a script that
// works the test window (Batch Mode, START, OK at each disc prompt); and
// scripts that cannot be followed say where and why.
#include "CorvanTestSupport.h"

#include "diagnostic/TestScript.h"
#include "simdrive/SimMachineFile.h"

namespace {

using namespace corvantest;

TEST_F(CorvanTest, TheShippedBatchScriptRunsFourRoundsAndPasses) {
    std::string error;
    std::unique_ptr<sim::SimMachine> batch =
        sim::LoadSimMachine(std::string(ODT_SOURCE_DIR) + "/simdrive/machines/corvan-batch.machine", error);
    ASSERT_TRUE(batch) << error;
    EXPECT_TRUE(batch->UiAuto);
    EXPECT_FALSE(batch->RealClock);
    EXPECT_EQ(batch->UiScript, std::string(ODT_SOURCE_DIR) + "/simdrive/machines/corvan-batch.script");
    std::vector<ScriptStep> steps;
    ASSERT_TRUE(LoadTestScript(batch->UiScript, steps, error)) << error;
    batch->Install();
    vcl::InstallDialogs(&dialogs);
    vcl::InstallMessageBoxService();
    bool followed = false;
    dialogs.SetModalCallback([&](vcl::TForm& form) {
        if (form.ClassName() != "TFormTest") return;
        auto& test = static_cast<TFormTest&>(form);
        followed = RunTestScript(test, steps, dialogs, error);
        test.CloseBtnClick();
    });
    vcl::RunGuarded(RunCorvan);
    EXPECT_TRUE(followed) << error;
    const std::string log = ReadFile(dir + "/Corvan CE/Corvan_CE.LOG").value_or("");
    for (const char* index : {"0/0", "1/0", "2/0", "3/0"})
        EXPECT_NE(log.find(std::string("     TEST INDEX(C/T)  >> : ") + index + "\n"), std::string::npos) << index;
    EXPECT_EQ(dialogs.MessageBoxes().size(), 5u);
    EXPECT_EQ(dialogs.MessageBoxes().back().Text, "PASS !!");
}

struct ScriptCase {
    const char* name;
    const char* text;
    const char* error;  // "" when the script loads
};

class Scripts : public CorvanTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(Scripts, LoadOrSayWhereAndWhy) {
    const ScriptCase& c = GetParam();
    const std::string path = dir + "/t.script";
    std::ofstream(path) << c.text;
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_EQ(LoadTestScript(path, steps, error), *c.error == '\0');
    if (*c.error != '\0') {
        EXPECT_EQ(error, path + ":" + c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Scripts,
    ::testing::Values(
        ScriptCase{"Sound", "# a test\ndrive 1\nlog \"my log\"\nread random 9x\nread sequential 2\n"
                            "write full\nanswer cancel\nstart\n",
                   ""},
        ScriptCase{"UnknownStep", "batch\nfly\n", "2: unknown step \"fly\""},
        ScriptCase{"DriveWithoutNumber", "drive d:\n", "1: expected \"drive <number>\""},
        ScriptCase{"OpenQuote", "log \"unclosed\n", "1: a text in double quotes is not closed"},
        ScriptCase{"WriteOfWhat", "write some\n", "1: expected \"write partial|full\""},
        ScriptCase{"ExtraWord", "start now\n", "1: expected \"start\""}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

TEST_F(CorvanTest, AScriptThatAsksForWhatTheDiscDoesNotOfferStops) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom));
    std::vector<ScriptStep> steps;
    std::string error;
    const std::string path = dir + "/t.script";
    std::ofstream(path) << "write full\nstart\n";
    ASSERT_TRUE(LoadTestScript(path, steps, error));
    bool followed = true;
    Run([&](TFormTest& form) { followed = RunTestScript(form, steps, dialogs, error); });
    EXPECT_FALSE(followed);
    EXPECT_EQ(error, "line 1: the loaded disc offers no write test");
}

}  // namespace
