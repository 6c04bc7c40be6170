#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/window/close_check.h"
#include "platform/window/close_signals.h"

namespace {

using gfx::EffectMacro;

struct Result {
    bool ok = false;
    std::string text;
    std::string messages;
};

Result Preprocess(const std::string& source, const std::vector<EffectMacro>& defines = {},
           const std::map<std::string, std::string>& files = {}, const std::string& name = "main.fx")
{
    Result r;
    gfx::EffectFileReader reader = [&files](const std::string& path, size_t limit, std::string& contents) {
        auto found = files.find(path);
        if (found == files.end())
            return std::string("no such file");
        contents = found->second.substr(0, limit);
        return std::string();
    };
    r.ok = gfx::PreprocessEffect(source, name, defines, reader, r.text, r.messages);
    return r;
}

// The output without line markers and blank lines, words separated by single blanks.
std::string Words(const std::string& text)
{
    std::istringstream lines(text);
    std::string line, out;
    while (std::getline(lines, line)) {
        if (line.rfind("#line", 0) == 0)
            continue;
        std::istringstream words(line);
        std::string word;
        while (words >> word)
            out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

// The words of `source` preprocessed, or why it was refused.
std::string WordsOf(const std::string& source, const std::vector<EffectMacro>& defines = {})
{
    const Result r = Preprocess(source, defines);
    return r.ok ? Words(r.text) : "refused: " + r.messages;
}

// The 1-based output line holding `needle`, counted after the last #line marker before it.
int SourceLineOf(const std::string& text, const std::string& needle, std::string* file = nullptr)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("#line ", 0) == 0) {
            number = std::stoi(line.substr(6)) - 1;
            if (file) {
                size_t q = line.find('"');
                *file = line.substr(q + 1, line.rfind('"') - q - 1);
            }
            continue;
        }
        ++number;
        if (line.find(needle) != std::string::npos)
            return number;
    }
    return -1;
}

TEST(EffectPreprocessor, ObjectAndFunctionMacrosExpandRecursivelyWithoutLooping)
{
    EXPECT_EQ(WordsOf("#define N 4\n"
                      "#define TWICE(x) ((x) * 2)\n"
                      "#define ADD(a, b) a + b\n"
                      "#define SELF SELF + 1\n"
                      "#define CAT(a, b) a ## b\n"
                      "#define STR(a) #a\n"
                      "float v[N] = TWICE(N); ADD(TWICE(1), N); SELF; CAT(float, 4) STR(hello);\n"
                      "TWICE alone; \"N inside a string\"; 1e5 N2\n"
                      "#define JOIN(a, b, c) [a ## b ## c]\n"
                      "JOIN(x, , z) JOIN(, y, ) STR(\"a\\b\" c)\n"),
              "float v[4] = ((4) * 2); ((1) * 2) + 4; SELF + 1; float4 \"hello\"; "
              "TWICE alone; \"N inside a string\"; 1e5 N2 "
              "[xz] [y] \"\\\"a\\\\b\\\" c\"");
}

TEST(EffectPreprocessor, ConditionalsChooseOneBranchAndNest)
{
    const std::string source = "#define A 2\n"
                               "#if A > 3\nwrong1\n"
                               "#elif A == 2 && defined(B)\nwithB\n"
                               "#elif A == 2\n"
                               "  #ifdef C\n  withC\n  #else\n  noC\n  #endif\n"
                               "#else\nwrong2\n#endif\n"
                               "#ifndef A\nwrong3\n#endif\n"
                               "#if 0\n#if garbage (((\n#endif\n#bogus directive\n#endif\n"
                               "#undef A\n#ifdef A\nwrong4\n#endif\nend\n";
    EXPECT_EQ(WordsOf(source), "noC end");
    EXPECT_EQ(WordsOf(source, {{"B", "\n"}}), "withB end");
    EXPECT_EQ(WordsOf(source, {{"C", "1"}}), "withC end");
}

TEST(EffectPreprocessor, ExpressionsFollowCPrecedence)
{
    struct Case {
        const char* expression;
        bool value;
    } cases[] = {
        {"1 + 2 * 3 == 7", true},  {"(1 + 2) * 3 == 9", true}, {"10 / 3 == 3 && 10 % 3 == 1", true},
        {"1 << 4 == 16", true},    {"-1 < 0", true},            {"~0 == -1", true},
        {"0x10 == 16", true},      {"010 == 8", true},          {"1 ? 0 : 1", false},
        {"!defined(X) || X", true}, {"UNDEFINED_NAME", false},  {"3 > 2 > 1", false},
        {"2 >= 2 && 1 <= 0", false}, {"(5 & 3) == 1 && (5 | 3) == 7 && (5 ^ 3) == 6", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WordsOf(std::string("#if ") + c.expression + "\nyes\n#else\nno\n#endif\n"), c.value ? "yes" : "no")
            << c.expression;
}

TEST(EffectPreprocessor, DefinesFromOutsideMayBeEmptyOrValued)
{
    // The engine defines names with a single line feed; the compiler program with =1.
    EXPECT_EQ(WordsOf("#ifdef WIND\nwind\n#endif\n#if FADE == 1\nfade\n#endif\nWIND|FADE\n",
                      {{"WIND", "\n"}, {"FADE", "1"}}),
              "wind fade |1");
    Result bad = Preprocess("x\n", {{"1BAD", "1"}});
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.messages.find("invalid define name '1BAD'"), std::string::npos);
}

TEST(EffectPreprocessor, IncludesAreLookedForBesideEachIncludingFileThenInTheCompilersFolder)
{
    // Beside the file that includes it, then beside each file that included
    // that one up to the top file, then in the folder the compiler runs in:
    // the first place that has it wins, and no place is looked at twice.
    const std::map<std::string, std::string> files = {
        {"fx/lib/a.fxh", "#include \"b.fxh\"\n#include \"common.fxh\"\n#include \"root.fxh\"\nfromA\n"},
        {"fx/lib/b.fxh", "fromB\n"},
        {"fx/b.fxh", "wrongB\n"},
        {"fx/common.fxh", "fromCommon\n"},
        {"common.fxh", "wrongCommon\n"},
        {"root.fxh", "fromRoot\n"},
    };
    std::vector<std::string> looks;
    gfx::EffectFileReader reader = [&](const std::string& path, size_t limit, std::string& contents) {
        looks.push_back(path);
        const auto found = files.find(path);
        if (found == files.end())
            return std::string(gfx::kNoSuchEffectFile) + ", in any letter case";
        contents = found->second.substr(0, limit);
        return std::string();
    };
    std::string text, messages;
    ASSERT_TRUE(gfx::PreprocessEffect("first\n#include \"lib/a.fxh\"\n#include \"lib\\\\..\\\\common.fxh\"\nlast\n",
                                      "fx/main.fx", {}, reader, text, messages))
        << messages;
    EXPECT_EQ(Words(text), "first fromB fromCommon fromRoot fromA fromCommon last");
    const std::vector<std::string> expected = {"fx/lib/a.fxh", "fx/lib/b.fxh",  "fx/lib/common.fxh",
                                               "fx/common.fxh", "fx/lib/root.fxh", "fx/root.fxh", "root.fxh"};
    EXPECT_EQ(looks, expected);
    // Each line is told in its own file, the including one's again after an include.
    for (const auto& [word, line, file] : {std::tuple{"fromRoot", 1, "root.fxh"}, {"fromA", 4, "fx/lib/a.fxh"},
                                           {"last", 4, "fx/main.fx"}}) {
        std::string in;
        EXPECT_EQ(SourceLineOf(text, word, &in), line) << word;
        EXPECT_EQ(in, file) << word;
    }

    // Missing everywhere: every place is named, and the work ends there.
    looks.clear();
    messages.clear();
    EXPECT_FALSE(gfx::PreprocessEffect("#include \"lib/a.fxh\"\n", "fx/main.fx", {},
                                       [&](const std::string& path, size_t limit, std::string& contents) {
                                           if (path == "fx/lib/a.fxh")
                                               return reader(path, limit, contents);
                                           looks.push_back(path);
                                           return std::string("no such file");
                                       },
                                       text, messages));
    EXPECT_EQ(messages, "fx/lib/a.fxh(1,1): error X1005: cannot open include file 'b.fxh' (looked for as "
                        "'fx/lib/b.fxh', 'fx/b.fxh', 'b.fxh'): no such file\n");
    // A file that is there but cannot be read ends the look where it is.
    messages.clear();
    EXPECT_FALSE(gfx::PreprocessEffect("#include \"x.fxh\"\n", "fx/main.fx", {},
                                       [](const std::string&, size_t, std::string&) {
                                           return std::string("not a regular file (a folder, pipe or device)");
                                       },
                                       text, messages));
    EXPECT_EQ(messages, "fx/main.fx(1,1): error X1005: cannot open include file 'x.fxh' (looked for as "
                        "'fx/x.fxh'): not a regular file (a folder, pipe or device)\n");
}

TEST(EffectPreprocessor, TheFirstIncludeThatCannotBeOpenedEndsTheWork)
{
    // 4,000 missing includes: one look, one message, as the platform's compiler stops.
    int looks = 0;
    gfx::EffectFileReader reader = [&looks](const std::string&, size_t, std::string&) {
        ++looks;
        return std::string("no such file");
    };
    std::string source;
    for (int i = 0; i < 4000; ++i)
        source += "#include \"missing" + std::to_string(i) + ".fxh\"\n";
    std::string text, messages;
    EXPECT_FALSE(gfx::PreprocessEffect(source + "#error never reached\n", "main.fx", {}, reader, text, messages));
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(messages, "main.fx(1,1): error X1005: cannot open include file 'missing0.fxh' (looked for as "
                        "'missing0.fxh'): no such file\n");
}

TEST(EffectPreprocessor, BackslashesInAMacroAreReadAsThePlatformReadsThem)
{
    const struct {
        std::string source, words;
    } cases[] = {
        {"#define NAME\\\nbody\nNAME\n", "body"},
        {"#define NAME\\\n  first \\\n  second\nNAME\n", "first second"},
        {"  #  define   NAME\\\n(1)\nNAME\n", "(1)"},
        // After a name and its parameters, or within a body, lines join as they are.
        {"#define F(x)\\\nx+1\nF(2)\n", "2+1"},
        {"#define G a\\\nb\nG\n", "ab"},
        // A body's string between escaped quotes is that string; one in quotes keeps its escapes.
        {"#define W (\\\"None\\\") // hidden\nstring s = W; float y;\n", "string s = (\"None\"); float y;"},
        {"#define Q \"a\\\"b\" \\\"c\\\" \\\"d\n(Q)\n", "(\"a\\\"b\" \"c\" \\\"d)"},
        {"x = \\\"y\\\";\n", "x = \\\"y\\\";"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WordsOf(c.source), c.words) << c.source;
}

TEST(EffectPreprocessor, LineNumbersSurviveCommentsContinuationsAndSkippedCode)
{
    Result r = Preprocess("/* a comment\n   over lines */\n#define LONG 1 + \\\n  2\n#if 0\nskipped\n#endif\n"
                   "target // trailing\n");
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(SourceLineOf(r.text, "target"), 8);
}

TEST(EffectPreprocessor, WindowsLineEndsAndAByteOrderMarkAreAccepted)
{
    Result r = Preprocess("\xEF\xBB\xBF#define A 1\r\n#if A\r\nyes \\\r\n  more\r\n#endif\r\nlast\r\n");
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(Words(r.text), "yes more last");
    EXPECT_EQ(SourceLineOf(r.text, "last"), 6);
}

TEST(EffectPreprocessor, ErrorsNameFileLineAndColumn)
{
    struct Case {
        std::string source;
        std::string message;
    } cases[] = {
        {"ok\n  #frobnicate\n", "main.fx(2,3): error X1002: unknown preprocessor directive '#frobnicate'"},
        {"#if 1\nx\n", "main.fx(1,1): error X1004: unterminated conditional directive"},
        {"#endif\n", "main.fx(1,1): error X1003: #endif without #if"},
        {"#if 1\n#else\n#else\n#endif\n", "main.fx(3,1): error X1003: #else after #else"},
        {"\n#include \"lib\\\\missing.fxh\"\n",
         "main.fx(2,1): error X1005: cannot open include file 'lib\\\\missing.fxh' (looked for as 'lib/missing.fxh'): "
         "no such file"},
        {"#if 1 / 0\n#endif\n", "main.fx(1,1): error X1006: invalid preprocessor expression: division by zero"},
        {"#if (1\n#endif\n", "main.fx(1,1): error X1006: invalid preprocessor expression: missing ')'"},
        {"#if\n#endif\n", "error X1006: invalid preprocessor expression: expression expected"},
        {"#define F(a, b) a\nF(1)\n", "main.fx(2,1): error X1007: macro 'F' expects 2 arguments, not 1"},
        {"#define F(a) a\nx F(1\n(\n", "main.fx(2,3): error X1007: unexpected end of file in the arguments of macro 'F'"},
        {"#define F(a) a\n#if F(1\n#endif\n", "error X1007: unexpected end of line in the arguments of macro 'F'"},
        // Text that a macro makes is never a directive.
        {"#define L #line 10 \"x.fx\"\nfloat a;\n L\n",
         "main.fx(3,2): error X1002: a macro makes the line '#line 10 \"x.fx\"', which is not a directive"},
        {"x /* never closed\n", "main.fx(1,1): error X1001: unexpected end of file in a comment"},
        {"#error stop here\n", "main.fx(1,1): error X1008: #error stop here"},
        {"#define\n", "error X1010: #define expects a macro name"},
    };
    for (const Case& c : cases) {
        Result r = Preprocess(c.source);
        EXPECT_FALSE(r.ok) << c.source;
        EXPECT_NE(r.messages.find(c.message), std::string::npos) << c.source << "\n" << r.messages;
        EXPECT_TRUE(r.text.empty());
    }
}

TEST(EffectPreprocessor, ErrorsInIncludedFilesNameThatFile)
{
    Result r = Preprocess("#include \"inc.fxh\"\n", {}, {{"inc.fxh", "\n\n#if\n#endif\n"}});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.messages.find("inc.fxh(3,1): error X1006"), std::string::npos) << r.messages;
}

std::string Repeated(const std::string& line, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

TEST(EffectPreprocessor, BoundsOnWhatMacrosAndIncludesMakeRefuseEarly)
{
    // Over 1.6 MB each, past the 1 MiB that macros may add.
    const std::string plain = Repeated("float4 v = float4(1.0, 2.0, 3.0, 4.0) * scale; \"t.png\"\n", 30000);
    std::string doubling;
    for (int i = 0; i < 40; ++i) {
        if (i == 18) // M18 is 786431 bytes
            doubling += "#define DROP(x)\n#define KEEP_NOTHING(y) DROP(y)\n";
        doubling += "#define M" + std::to_string(i + 1) + " M" + std::to_string(i) + " M" +
                    std::to_string(i) + "\n";
    }
    // Macros that would copy M18 thousands of times, each reached through another
    // macro so that what they copy or paste is M18 expanded: line 45 of each.
    auto copies = [&](const std::string& body) {
        return doubling + "#define COPIES(x) " + body + "\n#define CALL(y) COPIES(y)\nCALL(M18)\n";
    };
    // Files that each include the next twice, down to the 30th.
    std::map<std::string, std::string> fanOut;
    for (int i = 0; i < 30; ++i)
        fanOut["f" + std::to_string(i)] = Repeated("#include \"f" + std::to_string(i + 1) + "\"\n", 2);
    fanOut["f30"] = "float4 x = 1;\n";
    const std::string selfTwice = "#include \"main.fx\"\n#include \"main.fx\"\n";
    const std::string growth = "error X1009: macros add to the effect over their bound of 1048576 bytes (1 MiB)";
    const std::string work =
        "error X1009: expanding macros reads and writes more than its bound of work, 33554432 bytes (32 MiB)";
    struct Case {
        std::string name;
        std::string source;
        std::map<std::string, std::string> files;
        std::string text;    // checked when the effect is accepted
        std::string message; // empty: accepted
    } cases[] = {
        {"no macro", plain, {}, "#line 1 \"main.fx\"\n" + plain + "\n", ""},
        {"doubling macro", doubling + "M40\n", {}, "", "main.fx(43,1): " + growth},
        // Nothing is added, but every line expands a large argument that is thrown away.
        {"work thrown away", doubling + Repeated("KEEP_NOTHING(M18)\n", 100), {}, "",
         "main.fx(45,1): " + work},
        // Each line adds 999 bytes: the 1050th is one too many.
        {"growth summed over lines", "#define K " + std::string(1000, 'x') + "\n" + Repeated("K\n", 1100), {}, "",
         "main.fx(1051,1): " + growth},
        {"parameter repeated", copies(Repeated("x ", 3000)), {}, "", "main.fx(45,1): " + growth},
        {"parameter pasted", copies(Repeated("x##", 1000) + "x"), {}, "", "main.fx(45,1): " + growth},
        {"parameter stringized", copies(Repeated("#x ", 1000)), {}, "", "main.fx(45,1): " + growth},
        // Read, not kept: what macros add to a condition costs all the more.
        {"conditions expanded", "#define ONES " + Repeated("1+", 30000) + "1\n#define MB ONES" + Repeated("+ONES", 15) +
         "\n" + Repeated("#if MB\n#endif\n", 20), {}, "", "main.fx(5,1): " + work},
        {"calls nested", doubling + "#define TWICE(x) x x\n" + Repeated("TWICE(", 30) + "M9" + Repeated(")", 30) + "\n",
         {}, "", "main.fx(44,1): " + growth},
        {"file including itself twice", selfTwice, {{"main.fx", selfTwice}}, "",
         "main.fx(1,1): error X1009: #include nested too deeply: 'main.fx'"},
        {"includes fanning out", "#include \"f0\"\n", fanOut, "",
         "f28(1,1): error X1009: #include 'f29' takes what includes add to the effect over their bound of "
         "4194304 bytes (4 MiB)"},
        // Neither macros nor includes: the whole effect's own text.
        {"whole effect", Repeated(std::string(1023, 'w') + "\n", 65 << 10), {}, "",
         "main.fx(65536,1): error X1009: the preprocessed effect is over the bound of 67108864 bytes (64 MiB)"},
    };
    for (const Case& c : cases) {
        Result r = Preprocess(c.source, {}, c.files);
        EXPECT_EQ(r.ok, c.message.empty()) << c.name;
        EXPECT_EQ(r.messages, c.message.empty() ? "" : c.message + "\n") << c.name;
        EXPECT_TRUE(r.text == c.text) << c.name; // no dump of megabytes when it fails
    }
}

TEST(EffectPreprocessor, AFileIncludedManyTimesIsReadOnce)
{
    int reads = 0;
    gfx::EffectFileReader reader = [&reads](const std::string& path, size_t, std::string& contents) {
        ++reads;
        contents = "x\n";
        return path == "inc.fxh" ? std::string() : std::string("no such file");
    };
    std::string text, messages;
    EXPECT_FALSE(gfx::PreprocessEffect(Repeated("#include \"inc.fxh\"\n", 100) + Repeated("#include \"no.fxh\"\n", 2),
                                       "main.fx", {}, reader, text, messages));
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(messages, "main.fx(101,1): error X1005: cannot open include file 'no.fxh' (looked for as 'no.fxh'): "
                        "no such file\n");
}

TEST(EffectPreprocessor, ACloseSignalStopsItWithTheClosingLine)
{
    const std::string source = "#define A 1\nA\n#include \"inc.fxh\"\nA\n";
    // The reader is where the signal comes the second time.
    gfx::EffectFileReader raising = [](const std::string&, size_t, std::string& contents) {
        platform::detail::RecordCloseSignal(SIGINT);
        contents = "A\nA\n";
        return std::string();
    };
    const struct {
        bool before;
        std::string message;
    } cases[] = {{true, gfx::EffectClosingError("main.fx", 1)}, {false, gfx::EffectClosingError("inc.fxh", 1)}};
    for (const auto& c : cases) {
        platform::detail::ForgetCloseSignals();
        if (c.before)
            platform::detail::RecordCloseSignal(SIGINT);
        std::string text, messages;
        EXPECT_FALSE(gfx::PreprocessEffect(source, "main.fx", {}, raising, text, messages));
        EXPECT_EQ(messages, c.message);
        EXPECT_TRUE(text.empty());
    }
    platform::detail::ForgetCloseSignals();
}

TEST(EffectPreprocessor, ConditionsNestUpToTheLimitInEveryBuild)
{
    // Read without recursion: the limit is the same with a sanitizer's larger frames.
    auto nested = [](int depth, const std::string& open, const std::string& close) {
        std::string e;
        for (int i = 0; i < depth; ++i)
            e += open;
        e += "1";
        for (int i = 0; i < depth; ++i)
            e += close;
        return "#if " + e + "\nyes\n#endif\n";
    };
    struct Case {
        std::string source;
        bool ok;
    } cases[] = {
        {nested(120, "(1+", ")"), true},  {nested(250, "-", ""), true},        {nested(80, "!!(", ")"), true},
        {nested(5000, "(", ")"), false},  {nested(5000, "1+(", ")"), false},   {nested(5000, "-", ""), false},
        {nested(5000, "1?", ":0"), false}, {nested(5000, "!(", ")"), false},
    };
    for (const Case& c : cases) {
        Result r = Preprocess(c.source);
        EXPECT_EQ(r.ok, c.ok) << c.source.substr(0, 40);
        if (c.ok)
            EXPECT_EQ(Words(r.text), "yes");
        else
            EXPECT_NE(r.messages.find("main.fx(1,1): error X1006: invalid preprocessor expression: expression "
                                      "nested too deeply"),
                      std::string::npos)
                << r.messages.substr(0, 200);
    }
}

TEST(EffectPreprocessor, AMacrosArgumentsMayGoOverSeveralLines)
{
    struct Case {
        std::string source;
        std::string words;
    } cases[] = {
        {"F(1,\n2) after\nlast\n", "1 + 2 after last"},
        // Brackets and strings of the arguments count; a call after one ends
        // may go on too.
        {"F((1,\n\")(\"),\n 3) F(4,\n\n5)\nlast\n", "(1, \")(\") + 3 4 + 5 last"},
        {"x F\n(1, 2)\nlast\n", "x F (1, 2) last"}, // the name's line ends: no call
    };
    for (const Case& c : cases) {
        Result r = Preprocess("#define F(a, b) a + b\n" + c.source);
        ASSERT_TRUE(r.ok) << c.source << r.messages;
        EXPECT_EQ(Words(r.text), c.words) << c.source;
        // The lines after the call keep their numbers.
        EXPECT_EQ(SourceLineOf(r.text, "last"), 2 + static_cast<int>(std::count(c.source.begin(), c.source.end(), '\n')) - 1)
            << c.source;
    }
}

TEST(EffectPreprocessor, IncludesNameFoldersWithBackslashesAsThePlatformWritesThem)
{
    std::map<std::string, std::string> files = {
        {"fx/sub/x.fxh", "#include \"..\\\\..\\\\headers\\\\a.fxh\"\nfromX\n"},
        {"headers/a.fxh", "fromA\n"},
    };
    Result r = Preprocess("#include \"sub\\\\x.fxh\"\n#include \"sub\\x.fxh\"\n", {}, files, "fx/main.fx");
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(Words(r.text), "fromA fromX fromA fromX");
    std::string file;
    EXPECT_EQ(SourceLineOf(r.text, "fromA", &file), 1);
    EXPECT_EQ(file, "headers/a.fxh"); // '..' goes back over the folder before it
}

TEST(EffectPreprocessor, AFileIsReadOnlyAsFarAsIncludesMayStillAdd)
{
    // A reader told how much it may read, whatever size the file has.
    std::vector<size_t> limits;
    const std::string large(5 << 20, 'x');
    gfx::EffectFileReader reader = [&](const std::string& path, size_t limit, std::string& contents) {
        limits.push_back(limit);
        contents = path == "small.fxh" ? std::string("small\n") : large.substr(0, limit);
        return std::string();
    };
    std::string text, messages;
    EXPECT_FALSE(gfx::PreprocessEffect("#include \"small.fxh\"\n#include \"large.fxh\"\n", "main.fx", {}, reader, text,
                                       messages));
    const size_t markers = 32 + std::string("main.fx").size();
    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(limits[0], (size_t{4} << 20) - markers - 9 + 1);
    EXPECT_EQ(limits[1], limits[0] - 6 - markers - 9);
    EXPECT_EQ(messages, "main.fx(2,1): error X1009: #include 'large.fxh' takes what includes add to the effect over "
                        "their bound of 4194304 bytes (4 MiB)\n");
}

TEST(EffectPreprocessor, WorkGrowsInProportionToTheEffect)
{
    // Four times each shape costs at most 4.5 times the steps.
    const std::string macros = "#define ONE(x) x\n#define TWO(x, y) ONE(x) ONE(y) #x\n#define K 1\n";
    const struct {
        const char* name;
        std::string head;
        std::string line;
        std::map<std::string, std::string> files;
    } shapes[] = {
        {"plain", "", "float4 v = float4(1.0, 2.0, 3.0, 4.0) * scale; \"t\" // c\n", {}},
        {"calls", macros, "TWO(K, ONE(K)) ONE(TWO(a, b)) K K\n", {}},
        {"conditions", macros, "#if K && defined(ONE) || (K + 2) * 3 > 4\nyes\n#elif K\n#else\n#endif\n", {}},
        {"includes", "", "#include \"inc.fxh\"\n", {{"inc.fxh", "float4 included;\n"}}},
        {"arguments over lines", macros, "TWO(1,\n 2)\n", {}},
    };
    for (const auto& shape : shapes) {
        std::vector<uint64_t> steps;
        for (int n : {1000, 4000}) {
            const std::string source = shape.head + Repeated(shape.line, n);
            const uint64_t before = platform::StepsOnThisThread();
            const Result r = Preprocess(source, {}, shape.files);
            steps.push_back(platform::StepsOnThisThread() - before);
            ASSERT_TRUE(r.ok) << shape.name << r.messages.substr(0, 200);
        }
        EXPECT_LE(steps[1] * 2, steps[0] * 9) << shape.name << ": " << steps[0] << " then " << steps[1];
    }
}

} // namespace
