#pragma once
// What an effect pass hands the device while it is begun: the technique and pass,
// the pass's compiled program, and the parameter values uploaded at BeginPass /
// CommitChanges. The device keeps
// a copy with every draw call it records, so tests see what each draw used.
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

class BaseTexture;
struct PassProgram;

struct UploadedParameter {
    std::string name;
    std::vector<float> values; // scalars, vectors and matrices as floats, row by row; structs member by member
};

struct UploadedTexture {
    std::string name;
    const BaseTexture* texture = nullptr; // not owned; null when the slot is empty
};

struct EffectBinding {
    std::string effect;    // its file, as messages name it
    std::string technique;
    uint32_t pass = 0;
    std::string passName;  // "" when unnamed
    const PassProgram* program = nullptr; // owned by the effect; null when it has none
    uint32_t sharers = 0;  // the effect's other passes that may draw with that program
    std::vector<UploadedParameter> parameters;
    std::vector<UploadedTexture> textures;
};

} // namespace gfx
