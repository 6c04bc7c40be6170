#pragma once
// The HLSL that the shader compiler sees for an effect: the preprocessed effect
// text with the effect-only syntax blanked out (techniques, texture and string
// parameters, sampler_state blocks, annotations, semantics and registers of
// parameters, `#line` markers), every other character in place. Blanking keeps
// each line where it was, so a line of the result maps back to the file and line
// the effect's author wrote, through the markers the preprocessor left.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

struct HlslSource {
    struct Origin {
        uint32_t file = 0; // index into files
        int line = 1;
    };
    std::string text;
    std::vector<std::string> files;
    std::vector<Origin> lines; // origin of each line of text, the first at index 0

    // The file and line that line `line` (1-based) of text came from; lines past
    // the end (generated code) map to the last one.
    Origin Locate(int line) const;
    const std::string& FileOf(const Origin& origin) const { return files[origin.file]; }
};

// `preprocessed` is what the effect preprocessor produced for `fileName`; it
// has already been parsed as an effect, so its declarations are well formed.
HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName);

} // namespace gfx
