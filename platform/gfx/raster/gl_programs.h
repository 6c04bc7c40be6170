#pragma once
// Linked GL programs for effect passes, made from the pass's GLSL on first use,
// and what each draw hands them: the parameter values packed into the pass's
// uniform block at the places the compiler reflected (matrices by their stored
// columns, bools and ints as 32-bit integers), and sampler objects made once for
// each set of sampler states.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/fx/pass_program.h"

namespace gfx {
struct EffectBinding;
}

namespace gfx::raster {

class GlPrograms {
public:
    GlPrograms() = default;
    ~GlPrograms();
    GlPrograms(const GlPrograms&) = delete;
    GlPrograms& operator=(const GlPrograms&) = delete;

    // The linked program of `pass`, 0 when it does not link (said once on
    // standard output).
    uint32_t Program(const PassProgram& pass);
    // Packs the binding's values into the pass's block and binds it; false when
    // the pass has no block.
    void BindParameters(const PassProgram& pass, const EffectBinding& binding);
    uint32_t Sampler(const SamplerSettings& settings);

private:
    struct Linked {
        std::string vertex;      // the texts it was made from, to tell a reused address apart
        std::string pixel;
        uint32_t program = 0;
        uint32_t block = 0;      // uniform buffer
        std::vector<int> sources; // for each uniform field, its index in the binding's parameters
        std::vector<uint8_t> bytes;
    };
    Linked* Find(const PassProgram& pass);

    std::unordered_map<const PassProgram*, Linked> programs_;
    std::vector<std::pair<SamplerSettings, uint32_t>> samplers_;
};

// Writes `values` (the effect's floats, row by row, element by element) into
// `block` at the field's places. Exposed for tests.
void PackUniform(const UniformField& field, const std::vector<float>& values, std::vector<uint8_t>& block);

} // namespace gfx::raster
