#include "download/Pelmoracommandline.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

std::string FlashTestLogPath() {
    const char* dir = std::getenv(kFlashTestDirVariable);
    const std::string base = dir != nullptr && *dir != '\0' ? dir : kDefaultFlashTestDir;
    return base + "/" + kStepLogName;
}

std::string StepLogPath(OptionFlags options, bool binArgument) {
    if ((options & OptLive) != 0 || binArgument) return kStepLogName;
    if ((options & OptTest) != 0) return FlashTestLogPath();
    return std::string();
}

bool AppendStepLog(OptionFlags options, bool binArgument, const std::string& code) {
    const std::string path = StepLogPath(options, binArgument);
    if (path.empty()) return false;
    if (std::FILE* log = std::fopen(path.c_str(), "a")) {
        std::fputs(code.c_str(), log);
        std::fputc('\n', log);
        std::fclose(log);
    }
    return true;
}

CommandLineChoice ParseCommandLineText(const std::string& commandLine) {
    CommandLineChoice choice;
    const std::string upper = UpperCased(commandLine);
    const std::size_t bin = upper.find(".BIN");
    if (bin != std::string::npos) {
        // A shell or a shortcut hands a path with blanks over in double
        // quotes: inside an open quote the name starts after it.  Otherwise
        // the name starts after the nearest blank, and the scan never goes
        // before the start of the command line.
        std::size_t start = 0;
        const auto quotes = std::count(commandLine.begin(), commandLine.begin() + static_cast<std::ptrdiff_t>(bin), '"');
        const std::size_t mark =
            bin == 0 ? std::string::npos : commandLine.find_last_of(quotes % 2 == 1 ? '"' : ' ', bin - 1);
        if (mark != std::string::npos) start = mark + 1;
        choice.FileName = commandLine.substr(start, bin + 4 - start);
        choice.Options = OptNoCheck;
        choice.BinArgument = true;
        choice.LogToClear = kStepLogName;
        return choice;
    }
    std::string log;
    if (upper.find("-NOCHECK") != std::string::npos) choice.Options = OptNoCheck;
    if (upper.find("-TEST") != std::string::npos) {
        choice.Options = OptTest;
        log = FlashTestLogPath();
    }
    if (upper.find("-LIVE") != std::string::npos) {
        choice.Options = OptLive;
        log = kStepLogName;
    }
    if ((choice.Options & OptTestModes) != 0) choice.LogToClear = log;
    return choice;
}
