// The compatibility verdict and the boot-code revisions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "download/Fwlib.h"

namespace {

FirmwareIdentity Identity(const std::string& model, const std::string& revision,
                          const std::string& code, uint8_t fc0, uint8_t fc1) {
    FirmwareIdentity id;
    std::memcpy(id.Model, model.data(), std::min(model.size(), kModelLength));
    std::memcpy(id.Revision, revision.data(), std::min(revision.size(), kRevisionLength));
    std::memcpy(id.Code, code.data(), std::min(code.size(), kCodeLength));
    id.FcCode[0] = fc0;
    id.FcCode[1] = fc1;
    return id;
}

const std::string kModel = "SIMDRIVEDVD-RW SD-1000  ";
const std::string kOtherModel = "SIMDRIVEDVD-RW SD-2000  ";

struct VerdictCase {
    const char* what;
    OptionFlags options;
    FirmwareIdentity drive;
    FirmwareIdentity file;
    uint8_t codeFromQuery;
    uint8_t bootCode;
    DownloadState expected;
};

const VerdictCase kVerdictCases[] = {
    {"same identity", 0, Identity(kModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 2), 0, 0, StateOk},
    {"older drive", 0, Identity(kModel, "1.01", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 2), 0, 0, StateOk},
    // -NOCHECK passes everything, whatever else differs.
    {"no-check, other model", OptNoCheck | OptFcMarker | OptCompareCode,
     Identity(kOtherModel, "9.99", "XYZ", 9, 9), Identity(kModel, "1.00", "SDA", 1, 2), 0, 0, StateOk},
    // Revision: the first character is never compared; with a code from the
    // identity query only the last two are.
    {"1.05 over 1.03", 0, Identity(kModel, "1.05", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateOldVersion},
    {"1.05 over 1.03, code from query", 0, Identity(kModel, "1.05", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 1, 0, StateOldVersion},
    {"2.03 over 1.03", 0, Identity(kModel, "2.03", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateOk},
    {"2.03 over 1.03, code from query", 0, Identity(kModel, "2.03", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 1, 0, StateOk},
    {"second character decides without query", 0, Identity(kModel, "1C01", "SDA", 0, 0), Identity(kModel, "1B05", "SDA", 0, 0), 0, 0, StateOldVersion},
    {"second character ignored with query", 0, Identity(kModel, "1C01", "SDA", 0, 0), Identity(kModel, "1B05", "SDA", 0, 0), 1, 0, StateOk},
    {"last two decide with query", 0, Identity(kModel, "1B09", "SDA", 0, 0), Identity(kModel, "1C05", "SDA", 0, 0), 1, 0, StateOldVersion},
    {"revision bytes compare unsigned", 0, Identity(kModel, "1.0\xB0", "SDA", 0, 0), Identity(kModel, "1.09", "SDA", 0, 0), 0, 0, StateOldVersion},
    // Boot code: neither the code nor the revision is compared, the model is.
    {"boot drive, other code", OptCompareCode, Identity(kModel, "BOOT", "XYZ", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 1, StateOk},
    {"BOOT revision without the boot flag", 0, Identity(kModel, "BOOT", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateOldVersion},
    {"boot drive, other model", OptCompareCode, Identity(kOtherModel, "BOOT", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 1, StateModelMismatch},
    // Code only with OptCompareCode.
    {"other code compared", OptCompareCode, Identity(kModel, "1.03", "SDB", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateCodeMismatch},
    {"other code not compared", 0, Identity(kModel, "1.03", "SDB", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateOk},
    // FC code only with the marker and neither force option.
    {"FC differs", OptFcMarker, Identity(kModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 3), 0, 0, StateFcCodeMismatch},
    {"FC differs without marker", 0, Identity(kModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 3), 0, 0, StateOk},
    {"FC differs, force suffix", OptFcMarker | OptForceSuffix, Identity(kModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 3, 4), 0, 0, StateOk},
    {"FC differs, force non-suffix", OptFcMarker | OptForceNonSuffix, Identity(kModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 3, 4), 0, 0, StateOk},
    // Rule order: FC, model, code, revision.
    {"FC before model", OptFcMarker, Identity(kOtherModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 3), 0, 0, StateFcCodeMismatch},
    {"force suffix reaches model", OptFcMarker | OptForceSuffix, Identity(kOtherModel, "1.03", "SDA", 1, 2), Identity(kModel, "1.03", "SDA", 1, 3), 0, 0, StateModelMismatch},
    {"model before code", OptCompareCode, Identity(kOtherModel, "1.03", "SDB", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateModelMismatch},
    {"code before revision", OptCompareCode, Identity(kModel, "1.09", "SDB", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateCodeMismatch},
    // Exact comparison: case and blanks count.
    {"model case counts", 0, Identity("simdriveDVD-RW SD-1000  ", "1.03", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateModelMismatch},
    {"model blanks count", 0, Identity("SIMDRIVEDVD-RW SD-1000 X", "1.03", "SDA", 0, 0), Identity(kModel, "1.03", "SDA", 0, 0), 0, 0, StateModelMismatch},
};

TEST(VerdictTest, FirstMatchingRuleWins) {
    for (const VerdictCase& c : kVerdictCases)
        EXPECT_EQ(FwLib.CheckFirmwareFile(c.options, c.drive, c.file, c.codeFromQuery, c.bootCode),
                  c.expected)
            << c.what;
}

TEST(VerdictTest, BootCodeRevisionsAreExactlyThree) {
    const struct {
        const char* revision;
        bool boot;
    } cases[] = {
        {"BOOT", true}, {"B1.0", true}, {"0.99", true},
        {"boot", false}, {"B1.1", false}, {"0.98", false}, {"BOO ", false}, {"1.00", false},
        {"BOOTX", true},  // only four characters count
    };
    for (const auto& c : cases) EXPECT_EQ(FwLib.IsBootCode(c.revision), c.boot) << c.revision;
}

}  // namespace
