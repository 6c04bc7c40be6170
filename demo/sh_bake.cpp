#include "demo/sh_bake.h"

#include <memory>

#include "demo/sh_sampling.h"
#include "demo/sh_test_light.h"

namespace {

struct alignas(16) SplatBlock {
    float4 values[kBakeCoefficients];
};
static_assert(sizeof(SplatBlock) == 256, "sixteen float4 in one 256-byte block");

SplatBlock& Splats()
{
    static SplatBlock block;
    return block;
}

} // namespace

const float4* BakeShLighting(std::ostream& out)
{
    // 10,000 records of 152 bytes: the heap, not the stack.
    const auto samples = std::make_unique<SHSample[]>(kBakeSamples);
    double coefficients[kBakeCoefficients] = {};
    out << "Generating samples...\n";
    SHSetupSamples(samples.get(), kBakeSamples, kBakeBands);
    out << "Projecting to SH...\n";
    SHProject(SHTestLight, samples.get(), kBakeSamples, kBakeCoefficients, coefficients);
    out << "Baked:\n";
    SplatBlock& splats = Splats();
    splats = SplatBlock{};
    for (int i = 0; i < kBakeCoefficients; ++i) {
        out << coefficients[i] << std::endl;
        const float c = static_cast<float>(coefficients[i]);
        splats.values[i] = {c, c, c, c};
    }
    return splats.values;
}

const float4* ShCoeffSplats()
{
    return Splats().values;
}
