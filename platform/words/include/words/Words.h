// Words of one line of the simulated machine's text files: the machine
// description and the script a program follows at its windows.
//
// Words are separated by blanks; '#' outside a text starts a comment.  A text
// in double quotes is one word (its quotes taken off); inside it \" is a
// quote and \\ a backslash, any other backslash stands for itself (so
// "C:\FW\A.BIN" needs no doubling).  A double quote also ends a plain word:
// abc"d e" is the two words abc and "d e".
#pragma once

#include <string>
#include <vector>

namespace words {

struct Token {
    std::string Text;
    bool Quoted = false;  // it was a text in double quotes
};

// Appends the line's words to `tokens`; false with the reason for an
// unterminated text.
bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& why);

}  // namespace words
