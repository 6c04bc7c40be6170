#pragma once
// The HLSL that the shader compiler sees for an effect: the preprocessed effect
// text with the effect-only syntax blanked out (techniques, texture and string
// parameters, sampler_state blocks, annotations, semantics and registers of
// parameters, `#line` markers), every other character in place. Blanking keeps
// each line where it was, so a line of the result maps back to the file and line
// the effect's author wrote, through the markers the preprocessor left.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

struct HlslSource {
    struct Origin {
        uint32_t file = 0; // index into files
        int line = 1;
    };
    // A function's place in text and the identifiers its body names.
    struct Function {
        std::string name;
        size_t begin = 0;
        size_t end = 0;
        std::vector<std::string> names;
    };
    std::string text;
    std::vector<Function> functions;
    std::vector<std::string> files;
    std::vector<Origin> lines; // origin of each line of text, the first at index 0

    // The file and line that line `line` (1-based) of text came from; lines past
    // the end (generated code) map to the last one.
    Origin Locate(int line) const;
    const std::string& FileOf(const Origin& origin) const { return files[origin.file]; }
    // The text with every function that `entry` cannot reach blanked (lines
    // kept), so the compiler reads only what one shader uses.
    std::string TextFor(const std::string& entry) const;
    // Every identifier the functions that `entry` reaches name, and their names.
    std::set<std::string> Reached(const std::string& entry) const;
};

// `preprocessed` is what the effect preprocessor produced for `fileName`; it
// has already been parsed as an effect, so its declarations are well formed.
HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName);

} // namespace gfx
