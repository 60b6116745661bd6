// The download program's command line and its step log: what a start asks
// for ("-NOCHECK", "-TEST", "-LIVE", a ".BIN" path) and the one-code-per-line
// log of an unattended run.  Plain functions without a window, so that the
// main window (Pelmoramain) and the tests share them.
#pragma once

#include <string>

#include "download/DownloadTypes.h"

// ---------------------------------------------------------------------------
// Step log: one step code per line, appended and closed for every line.
//
// "Quilbex.TMP" in the current directory for "-LIVE" and for a ".BIN" path;
// for "-TEST" the log that lived at C:\FLASHTEST\Quilbex.TMP.  On Linux that
// directory is the one the environment variable PELMORA_FLASHTEST_DIR names,
// else "/FLASHTEST".  The directory is never created: without it the test
// mode logs nothing and downloads all the same.
inline constexpr const char* kStepLogName = "Quilbex.TMP";
inline constexpr const char* kFlashTestDirVariable = "PELMORA_FLASHTEST_DIR";
inline constexpr const char* kDefaultFlashTestDir = "/FLASHTEST";

// The test mode's log: <flash-test directory>/Quilbex.TMP.
std::string FlashTestLogPath();
// The log a start writes to; "" when it writes none.
std::string StepLogPath(OptionFlags options, bool binArgument);
// Appends code and a line feed to that log.  True when a log applies, also
// when the file could not be opened (the line is then lost).
bool AppendStepLog(OptionFlags options, bool binArgument, const std::string& code);

// ---------------------------------------------------------------------------
// Command line.
struct CommandLineChoice {
    OptionFlags Options = 0;
    bool BinArgument = false;
    std::string FileName;    // the ".BIN" path, with BinArgument
    std::string LogToClear;  // the step log this start begins afresh ("" none)
};

// Reads a whole command line (program path included).  The first ".BIN" (any
// case) names the firmware file: the text after the nearest blank before it,
// up to and including ".BIN", or the whole text before it when there is no
// blank; inside double quotes the name runs from the opening quote instead,
// without the quotes.  Otherwise "-NOCHECK", "-TEST" and "-LIVE" (any case,
// anywhere) each replace the whole option word, in this order.
CommandLineChoice ParseCommandLineText(const std::string& commandLine);
