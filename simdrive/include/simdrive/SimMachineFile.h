// A simulated machine described in a text file, one setting per line.
//
//   # comment (also after a setting: "platform nt   # the NT family")
//   platform nt|9x
//   version <major> <minor> <build> "<service pack text>" [product <n>] [suite <n>]
//           [plain-fails] [extended-fails]
//   language <id>                     e.g. 0x412 (Korean), 0x409 (US English)
//   admin yes|no
//   restart accept|refuse
//   process <id> <exe name> [locked]  locked: the process cannot be opened
//   aspi present|missing [no-send] [no-info] [support <word>] [adapters <n>]
//        [never-completes]
//   letter <x:> [type <n>] [open-fails]
//   drive <x:> <drive settings>                 a drive on a drive letter
//   drive aspi <adapter> <target> <drive settings>  a drive behind ASPI
//   disc <place> [queued] <model> <disc settings>  the disc in the drive at
//                                     <place> (x: or aspi <adapter> <target>);
//                                     queued discs drop into the tray, in
//                                     order, each time it opens
//   registry "<key path>" "<value name>" "<text>"   HKLM; stored with its NUL
//   state <path>                      the drives' firmware kept here between
//                                     runs; relative to the description's folder
//   commandline "<text>"              else the process's real command line
//   ui auto|interactive               auto: windows and message boxes are
//                                     answered at once and echoed to stderr
//   ui script "<file>"                as auto, and the program follows the
//                                     script at its windows (Corvan_CE:
//                                     diagnostic/TestScript.h); relative to
//                                     the description's folder
//   clock virtual|real                virtual: waits cost no real time;
//                                     without it: virtual with ui auto, real
//                                     with ui interactive
//
// Drive settings, in any order: vendor "<text>", product "<text>",
// revision "<text>", code "<text>", fc <byte> <byte>, byte0 <byte>, disc,
// nodrivecode, refuseflash, becoming-ready <ms>, features "<hex codes>" (the
// optional features the drive has, of 1F 20 2A 2B 2D 2F; all by default),
// ff09 <word> (the drive answers the vendor query FF 09 with this word).
//
// Disc models: cd-rom, cd-r, cd-rw, dvd-rom, dvd-r, dvd-rw, dvd-rw-ro,
// dvd-r-dl, dvd+r, dvd+rw, dvd+r-dl, dvd-ram, dvd+rw-dl, bd-rom, bd-r,
// bd-re, hd-dvd-rom, hd-dvd-r, unknown.  Disc settings, in any order: blank,
// incomplete, finalized, tracks <n>, mid "<text>", revision <byte>, pwp,
// cwp, capacity <blocks>.
//
// Numbers are decimal or 0x-prefixed hexadecimal.  Words are split as
// platform/words/include/words/Words.h says: texts with blanks go in double quotes; inside them
// \" is a quote and \\ a backslash, any other backslash stands for itself
// (so "C:\FW\A.BIN" needs no doubling).
// Settings given once per machine (platform, version, language, ...) may
// appear only once; so may each drive place, letter and process id.
// Defaults: platform nt, version 5 1 2600 "Service Pack 2" (4 10 2222 " A "
// on 9x), language 0x409, admin yes, restart accept, aspi missing, ui auto,
// clock virtual (real with ui interactive), no state file.
#pragma once

#include <memory>
#include <string>

#include "simdrive/SimMachine.h"

namespace sim {

// The machine the file describes, or nullptr with a clear error that names
// the file and line.  A state file that cannot be read fails the load too.
std::unique_ptr<SimMachine> LoadSimMachine(const std::string& path, std::string& error);

// The same from the description's text; relative state paths are taken from
// baseDirectory, and errors name sourceName.
std::unique_ptr<SimMachine> ParseSimMachine(const std::string& text, const std::string& sourceName,
                                            const std::string& baseDirectory, std::string& error);

}  // namespace sim
