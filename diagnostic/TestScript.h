// A scripted session at the test window, for headless runs: the simulated
// machine names a script ("ui script <file>") whose lines work the window as
// a person would: choose the drive, the log name and the test, answer the
// disc prompts, press START and wait for the run's end.
//
// One step per line; '#' starts a comment; words are separated by blanks and
// a text in double quotes is one word, as in the machine description
// (words/Words.h):
//   drive <n>                   choose the n-th drive of the list (from 0)
//   log <name>                  the log-name field ("" for an empty one)
//   batch                       "Batch Mode"
//   read random <n>             "Read Properties" with "Random Read", n loops
//   read sequential <n>         ... with "Sequential Read" (both may be given)
//   write partial|full          "Write Properties" with "Partial" or "Full Write"
//   answer ok|cancel            the answer to the next message box (a disc
//                               prompt); unanswered boxes are answered OK
//   start                       presses START and waits until the run ends
// After the last step the window is closed.
#pragma once

#include <string>
#include <vector>

class TFormTest;
namespace vcl {
class RecordingDialogs;
}

struct ScriptStep {
    enum class Kind { Drive, LogName, Batch, RandomRead, SequentialRead, PartialWrite, FullWrite, AnswerOk, AnswerCancel, Start };
    Kind What = Kind::Batch;
    std::string Text;  // the drive number, the log name or the loop count
    int Line = 0;
};

// False with "<path>:<line>: <why>" for a script that cannot be read or holds
// a step it does not know.
bool LoadTestScript(const std::string& path, std::vector<ScriptStep>& steps, std::string& error);

// Works the window through the steps (on the UI thread, while the window is
// up), echoing each on stderr.  False with the reason when a step cannot be
// done (START not enabled, no such drive).
bool RunTestScript(TFormTest& form, const std::vector<ScriptStep>& steps, vcl::RecordingDialogs& dialogs,
                   std::string& error);
