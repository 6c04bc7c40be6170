#pragma once
// Linked GL programs for effect passes, made from the pass's GLSL on first use
// (twice at most: as written, and with the alpha test the pixel stage carries
// for every draw left out, for the draws that test no alpha; the vertex stage
// always with its position's y negated last, for the drawing's lower-left clip
// origin, under which ties on edges break as the platform's), and what each
// draw hands them: the parameter values packed into the pass's
// uniform block at the places the compiler reflected (matrices by their stored
// columns, bools and ints as 32-bit integers), and sampler objects made once for
// each set of the device's sampler states.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/device/device_states.h"
#include "platform/gfx/device/pass_program.h"

namespace gfx {
struct EffectBinding;
}

namespace gfx::raster {

// What a GL sampler object takes of one of the device's samplers.
struct SamplerSettings {
    uint32_t minFilter = 1;      // point
    uint32_t magFilter = 1;
    uint32_t mipFilter = 0;      // none
    uint32_t addressU = 1;       // wrap
    uint32_t addressV = 1;
    uint32_t addressW = 1;
    uint32_t borderColour = 0;   // A8R8G8B8
    uint32_t maxAnisotropy = 1;
    uint32_t maxMipLevel = 0;
    float mipLodBias = 0.0f;
    bool operator==(const SamplerSettings&) const = default;
};
SamplerSettings SamplerSettingsOf(const std::array<uint32_t, kSamplerStateLimit>& states);

class GlPrograms {
public:
    GlPrograms() = default;
    ~GlPrograms();
    GlPrograms(const GlPrograms&) = delete;
    GlPrograms& operator=(const GlPrograms&) = delete;

    // The linked program of `pass`, 0 when it does not link; `unlinked` then
    // gets why in one line, the first time only of the pass's every variant.
    // Without `alphaTest` its pixel stage leaves the alpha
    // test out: a CPU rasterizer then neither reads the test's values nor
    // keeps the depth write until the pixel's colour is known. `readsFog`:
    // whether its pixel stage reads the fixed-function fog's block (below
    // shader model 3, and the stand-in for none).
    uint32_t Program(const PassProgram& pass, bool alphaTest, bool& readsFog, std::string* unlinked = nullptr);
    // Packs the binding's values into the pass's block and binds it; false when
    // the pass has no block.
    void BindParameters(const PassProgram& pass, bool alphaTest, const EffectBinding& binding);
    uint32_t Sampler(const SamplerSettings& settings);

private:
    struct Linked {
        std::string vertex;      // the texts it was made from, to tell a reused address apart
        std::string pixel;
        uint32_t program = 0;
        uint32_t block = 0;      // uniform buffer
        bool fog = false;        // reads the fog block
        std::vector<int> sources; // for each uniform field, its index in the binding's parameters
        std::vector<uint8_t> bytes;
    };
    struct Key {
        const PassProgram* pass;
        bool alphaTest;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const { return std::hash<const void*>()(k.pass) ^ size_t(k.alphaTest); }
    };
    Linked* Find(const PassProgram& pass, bool alphaTest, std::string* unlinked = nullptr);

    std::unordered_map<Key, Linked, KeyHash> programs_;
    std::vector<std::pair<SamplerSettings, uint32_t>> samplers_;
};

// Writes `values` (the effect's floats of one parameter, row by row, element
// by element), from the field's first on, into `block` at the field's places.
// Exposed for tests.
void PackUniform(const UniformField& field, const std::vector<float>& values, std::vector<uint8_t>& block);

} // namespace gfx::raster
