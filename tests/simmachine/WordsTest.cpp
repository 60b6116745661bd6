// The words of a machine description's or a script's line: escapes inside
// quoted texts, a quote that ends a plain word, comments and open texts.
#include <gtest/gtest.h>

#include "words/Words.h"

namespace {

struct WordsCase {
    const char* name;
    const char* line;
    std::vector<std::string> words;  // "'" before a word: it was quoted
    const char* why;                 // "" when the line splits
};

class LineWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(LineWords, SplitOrSayWhy) {
    const WordsCase& c = GetParam();
    std::vector<words::Token> tokens;
    std::string why;
    EXPECT_EQ(words::Tokenize(c.line, tokens, why), *c.why == '\0');
    EXPECT_EQ(why, c.why);
    std::vector<std::string> words;
    for (const words::Token& token : tokens) words.push_back((token.Quoted ? "'" : "") + token.Text);
    EXPECT_EQ(words, c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineWords,
    ::testing::Values(
        WordsCase{"Blanks", " \tlog  x\r", {"log", "x"}, ""},
        WordsCase{"Comment", "answer ok   # a CD-R", {"answer", "ok"}, ""},
        WordsCase{"HashInsideAText", "log \"a # b\"", {"log", "'a # b"}, ""},
        WordsCase{"EmptyText", "log \"\"", {"log", "'"}, ""},
        WordsCase{"EscapedQuoteAndBackslash", R"(log "say \"hi\" \\ end")", {"log", R"('say "hi" \ end)"}, ""},
        WordsCase{"OtherBackslashesStay", R"(path "C:\FW\A.BIN")", {"path", R"('C:\FW\A.BIN)"}, ""},
        WordsCase{"QuoteEndsAPlainWord", "abc\"d e\"f", {"abc", "'d e", "f"}, ""},
        WordsCase{"OpenText", "log \"unclosed", {"log"}, "a text in double quotes is not closed"},
        WordsCase{"EscapedClosingQuote", R"(log "C:\dir\")", {"log"}, "a text in double quotes is not closed"}),
    [](const ::testing::TestParamInfo<WordsCase>& info) { return std::string(info.param.name); });

}  // namespace
