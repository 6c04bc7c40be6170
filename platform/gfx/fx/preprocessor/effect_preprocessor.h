#pragma once
// The effect-file preprocessor: #define (object- and function-like), #undef,
// #if/#ifdef/#ifndef/#elif/#else/#endif with integer expressions, #include through
// a file-reading callback, #error, and defines given from outside. The output keeps
// the source's line numbers: blank lines stand for removed ones, and `#line N "file"`
// marks every change of file, so later messages point at the original text.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// A define given from outside, as "NAME=definition". An empty or blank definition
// defines the name with no text (the engine passes a single line feed).
struct EffectMacro {
    std::string name;
    std::string definition;
};

// Reads at most `limit` bytes of the file at `path` into `contents`, and no
// more whatever size the file claims (what is past them is not read).
// Returns "" when it read the file, else why it could not: a reason that
// begins with kNoSuchEffectFile says the file is not there, and the include is
// looked for in the next place. A reader of files on disk takes a name the
// same without regard to letter case where the exact name is missing
// (platform/os/path_case.h).
using EffectFileReader = std::function<std::string(const std::string& path, size_t limit, std::string& contents)>;
inline constexpr std::string_view kNoSuchEffectFile = "no such file";

// Preprocesses `source`, named `fileName` in messages and include resolution.
// An #include is looked for as the platform's compiler looks for it: beside
// the file that includes it, then beside each file that included that one up
// to `fileName`, then in the folder the compiler runs in (a path relative to
// it, as `fileName` is); a backslash in its name separates folders as '/'
// does, and '..' goes back over the folder named before it. The first include
// that cannot be opened ends the work, as it does the platform's compiler.
// A call of a function-like macro may take its arguments over several lines;
// a backslash that ends the line right after `#define NAME` ends the name.
// Returns false when there were errors; `messages` then holds one line per error.
// Macros may add at most 1 MiB to the effect's text, includes at most 4 MiB
// (each place an include is looked for counting its path), and the
// preprocessed effect is at most 64 MiB; the work of expanding macros has a
// bound of its own. Reaching a bound, or a close signal (the program is closing),
// stops the work at once with one line naming where it stopped and the bound.
// A file is read only as far as what includes may still add. Without a reader
// every #include fails; each path is looked for once. Only the line markers it
// writes itself move the place that later messages name: a macro cannot make
// a directive. `tokenBytes`, where given, gets the bytes of the tokens of the
// lines it read in every file, each time a file is included (TokenBytes):
// not of the text a false condition skips.
bool PreprocessEffect(std::string_view source, const std::string& fileName,
                      const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                      std::string& output, std::string& messages, size_t* tokenBytes = nullptr);

} // namespace gfx
