#include "platform/gfx/fx/syntax/effect_tokens.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/window/close_signals.h"

namespace {

using gfx::TokenKind;

// "kind:text@line:column" for each token, so a case reads as one line.
std::string Shown(std::string_view text, gfx::TokenProblem* problem = nullptr)
{
    std::string out;
    for (const gfx::Token& t : gfx::Tokenize(text, problem))
        out += std::to_string(static_cast<int>(t.kind)) + ":" + std::string(t.text) + "@" + std::to_string(t.line) +
               ":" + std::to_string(t.column) + " ";
    return out;
}

} // namespace

TEST(EffectTokens, EachKindKeepsItsPlace)
{
    // 1 identifier, 2 number, 3 string, 4 symbol, 5 directive
    EXPECT_EQ(Shown("  #line 3 \"a.fx\"\nfloat x=0x1e+1.5e-2; // c\n/* a\nb */ s=\"q\\\"\" @#"),
              "5:#line 3 \"a.fx\"@1:3 1:float@2:1 1:x@2:7 4:=@2:8 2:0x1e@2:9 4:+@2:13 2:1.5e-2@2:14 4:;@2:20 "
              "1:s@4:6 4:=@4:7 3:\"q\\\"\"@4:8 4:@@4:14 4:#@4:15 ");
}

TEST(EffectTokens, AnOpenStringOrCommentStopsTheTokens)
{
    const struct {
        const char* text;
        int line, column;
        const char* what;
    } cases[] = {{"a\n  \"open\nb", 2, 3, "newline in a string constant"},
                 {"a /* open", 1, 3, "unexpected end of file in a comment"}};
    for (const auto& c : cases) {
        gfx::TokenProblem problem;
        EXPECT_EQ(Shown(c.text, &problem), "1:a@1:1 ") << c.text;
        EXPECT_EQ(problem.line, c.line) << c.text;
        EXPECT_EQ(problem.column, c.column) << c.text;
        EXPECT_EQ(problem.text, c.what) << c.text;
    }
    EXPECT_EQ(gfx::NumberEnd("0x1e+1", 0, true), 6u); // one number to the preprocessor
}

TEST(EffectTokens, AClosingProgramStopsTheTokensOfAReaderThatCanSaySo)
{
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "a ";
    platform::detail::RecordCloseSignal(SIGINT);
    gfx::TokenProblem problem;
    const size_t stopped = gfx::Tokenize(text, &problem).size();
    const size_t whole = gfx::Tokenize(text).size();
    platform::detail::ForgetCloseSignals();
    EXPECT_TRUE(problem.closing);
    EXPECT_LT(stopped, 10000u);
    EXPECT_EQ(whole, 10000u);
}
