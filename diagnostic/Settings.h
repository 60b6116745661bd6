// The settings file "Corvan CE.INI" in the test directory: the selected
// drive, then per drive its name, its screen-item mode and the flag pairs of
// its two screen-item tables, one value or pair per line:
//
//   [ACTIVE DRIVE]
//   <selected index>
//   <drive name>            (per drive, in table order)
//   <mode>
//   <flag0>, <flag1>        (22 lines of table A, then 22 of table B)
//
// The file is written whole, to "<path>.tmp" first and then renamed over the
// old one, so an interrupted write leaves the last good file.  The blocks of
// drives the table does not hold (a drive absent this session) are carried
// over after the table's own, so they are there when the drive comes back.  Readers take
// every number as a decimal integer: a value that cannot be read, or one out
// of its range (a flag outside 0-255, a negative selected index), ends the
// reading of its block, and the file counts as malformed.  A malformed file
// is renamed aside ("<path>.bad", or ".bad.1" and on when that is taken), so
// the next write cannot lose what the user saved in it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "diagnostic/ScreenItems.h"

inline constexpr const char* kSettingsFileName = "Corvan CE.INI";
inline constexpr const char* kActiveDriveLine = "[ACTIVE DRIVE]";

// True when text holds pattern as a run of consecutive characters
// (case-sensitive); false for an empty pattern or one longer than the text.
// One pass from left to right: after a broken partial match the search goes
// on at the next character with the pattern's first one.
bool ContainsText(std::string_view pattern, std::string_view text);

// Finds the next line, from position start on, that contains pattern, and
// gives the position of its first character.  A line longer than 259
// characters is tested in pieces.  Not found: out is 0 at the end of the
// file, -1 when reading failed otherwise.
bool FindLineInFile(const char* pattern, std::FILE* file, long start, long& out);

// Writes the whole file from the table, then the blocks the old file holds
// for drives the table does not; false when it cannot be written (the old
// file, if any, is then untouched).
bool WriteSettingsFile(const std::string& path, const TestDriveTable& table);

enum class SettingsRead {
    NoFile,      // nothing at the path
    Unreadable,  // it would not open, or positioning in it failed
    Read,
};

struct SettingsReadResult {
    SettingsRead Status = SettingsRead::NoFile;
    bool Malformed = false;    // something could not be read or was out of range
    bool HasActive = false;    // the "[ACTIVE DRIVE]" line and a usable index
    int Active = 0;            // that index (0 or more; may be past the table)
};

// Reads the file into the table's entries (mode and the flags of both
// tables; names, slots and codes stay).  A drive whose name is not in the
// file gets the defaults when defaultsForMissing, else keeps its values.
// The table's selection is left alone: the caller decides about Active.
SettingsReadResult ReadSettingsFile(const std::string& path, TestDriveTable& table,
                                    bool defaultsForMissing);

// Renames a malformed file aside; the new path, or "" when it stayed.
std::string KeepSettingsAside(const std::string& path);

// The text of the one box a run shows about a malformed file; "" after the
// first.  A new run (the test window's creation) resets it.
std::string MalformedSettingsNotice(const std::string& keptAs);
void ResetMalformedSettingsNotice();
