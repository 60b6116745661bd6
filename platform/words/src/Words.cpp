#include "words/Words.h"

namespace words {

bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& why) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{"", true};
            for (++i;; ++i) {
                if (i >= line.size()) {
                    why = "a text in double quotes is not closed";
                    return false;
                }
                if (line[i] == '"') break;
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                    ++i;
                token.Text += line[i];
            }
            ++i;
            tokens.push_back(std::move(token));
        } else {
            Token token;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '"' && line[i] != '#')
                token.Text += line[i++];
            tokens.push_back(std::move(token));
        }
    }
    return true;
}

}  // namespace words
