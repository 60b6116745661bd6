// The test log: a header written at START (the file is emptied), then one
// section per test step, each appended by opening the file, writing and
// closing it again.  A log that cannot be opened is skipped without a word:
// the test goes on.
#pragma once

#include <cstdint>
#include <string>

#include "diagnostic/TestRun.h"
#include "drive/DiscInfo.h"

// The log's path in the test directory for the log-name field's text, or ""
// (no log) when there is no test directory or the name would reach outside
// it: a name holding a path separator is one the file system refuses here.
std::string TestLogPathFor(const std::string& testDirectory, const std::string& logName);

void WriteLogHeader(const std::string& path, const std::string& startTime, const std::string& fullIdentity,
                    const std::string& vendor, const std::string& product, const std::string& firmware);
void WriteLogTestIndex(const std::string& path, int index, int second);
void WriteLogDiscInfo(const std::string& path, drive::DiscRecord record);
void WriteLogTrayTest(const std::string& path, uint32_t seconds, int attempt, const std::string& status);
// The title and loop count follow the options as they are at this moment.
void WriteLogReadWriteTest(const std::string& path, uint8_t sequential, uint32_t first, uint32_t end,
                           uint32_t failAddress, const std::string& status, uint32_t errorCode, uint8_t compare,
                           const TestOptions& options);
// count: the reads the step was to make.
void WriteLogRandomReadTest(const std::string& path, uint32_t count, uint32_t failAddress,
                            const std::string& status, uint32_t errorCode);
void WriteLogFormatTest(const std::string& path, const std::string& status, uint32_t errorCode);
