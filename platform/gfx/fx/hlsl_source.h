#pragma once
// The HLSL that the shader compiler sees for an effect: the preprocessed effect
// text with the effect-only syntax blanked out (techniques, texture and string
// parameters, sampler_state blocks, annotations, semantics and registers of
// parameters, `#line` markers), every other character in place. Blanking keeps
// each line where it was, so a line of the result maps back to the file and line
// the effect's author wrote, through the markers the preprocessor left.
// What one shader reads is cut from it: the functions and global variables it
// reaches, every other one blanked too.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace gfx {

struct HlslSource {
    struct Origin {
        uint32_t file = 0; // index into files
        int line = 1;
    };
    // A function, or one name a global declaration declares: its place in
    // text and the identifiers it names (a variable's type, and from its name
    // to its initializer's end).
    struct Function {
        std::string name;
        size_t begin = 0;
        size_t end = 0;
        std::vector<std::string> names;
        bool body = false; // a function defined here, not only declared
    };
    // A global variable declaration: the whole statement (type to ';'), its
    // names in order and the commas between them.
    struct Declaration {
        size_t begin = 0;
        size_t end = 0;
        std::vector<Function> names;
        std::vector<size_t> commas; // the offset of the comma after each name but the last
    };
    std::string text;
    std::vector<Function> functions;
    std::vector<Declaration> declarations; // of variables the shaders may read (no textures or strings)
    std::vector<std::string> files;
    std::vector<Origin> lines; // origin of each line of text, the first at index 0
    // The functions of each name (indices into functions), and the
    // declaration and place in it of each global variable.
    std::unordered_map<std::string, std::vector<size_t>> functionsByName;
    std::unordered_map<std::string, std::pair<size_t, size_t>> variablesByName;
    // What the text that is always kept (structs, typedefs) names: reached from every shader.
    std::vector<std::string> alwaysNamed;
    // A close signal stopped the reading: the rest of the text is missing.
    bool stopped = false;

    // The file and line that line `line` (1-based) of text came from; lines past
    // the end (generated code) map to the last one.
    Origin Locate(int line) const;
    const std::string& FileOf(const Origin& origin) const { return files[origin.file]; }
    // Where the first definition of function `name` begins (line 1 for none).
    Origin FunctionOrigin(const std::string& name) const;
    // The identifiers of `roots` and alwaysNamed, and every one that the
    // functions and global variables of those names name, and so on.
    std::set<std::string> Reached(std::vector<std::string> roots) const;
    // The text with every function and global variable not in `reached`
    // blanked, lines kept, so the compiler reads only what one shader uses.
    std::string TextFor(const std::set<std::string>& reached) const;
};

// `preprocessed` is what the effect preprocessor produced for `fileName`; it
// has already been parsed as an effect, so its declarations are well formed.
// A close signal (platform::CloseSignalReceived) stops it early, with
// `stopped` set.
HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName);

} // namespace gfx
