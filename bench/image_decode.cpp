// Decoding a 2048 x 2048 DXT1 DDS file with its full mip chain from memory,
// into an image decoded into before (as a loader that keeps its image does),
// beside a plain copy of the same texel bytes into a buffer of their size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/image_decode.h"
#include "testing/dds_writer.h"

static void DecodeEachIteration(benchmark::State& state, const std::vector<uint8_t>& file)
{
    gfx::DecodedImage image;
    for (auto _ : state) {
        const gfx::DecodeResult result = gfx::DecodeImage(file.data(), file.size(), image);
        if (!result.Ok())
            state.SkipWithError(result.reason.c_str());
        benchmark::DoNotOptimize(image.bytes.data());
    }
}

static void BM_DecodeDxt1WithMips(benchmark::State& state)
{
    const platform::testing::DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 2048, 2048, 1,
                                          gfx::FullMipLevels(2048, 2048)};
    const std::vector<uint8_t> file = platform::testing::WriteDds(spec);
    DecodeEachIteration(state, file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_DecodeDxt1WithMips)->Unit(benchmark::kMicrosecond);

static void BM_CopyOfTheSameTexels(benchmark::State& state)
{
    const platform::testing::DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 2048, 2048, 1,
                                          gfx::FullMipLevels(2048, 2048)};
    const std::vector<uint8_t> file = platform::testing::WriteDds(spec);
    const size_t texels = file.size() - 128;
    std::vector<uint8_t> copy(texels);
    for (auto _ : state) {
        std::memcpy(copy.data(), file.data() + 128, texels);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_CopyOfTheSameTexels)->Unit(benchmark::kMicrosecond);

static void BM_DecodeTga32RunLength(benchmark::State& state)
{
    // Not a file type the engine keeps big textures in, but its decoder sits on
    // the same road: a 512 x 512 run-length TGA for scale.
    std::vector<uint8_t> file = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 32, 8};
    for (int i = 0; i < 512 * 512 / 128; ++i) {
        file.push_back(uint8_t(0x80 | 127));
        file.insert(file.end(), {uint8_t(i), 20, 30, 255});
    }
    DecodeEachIteration(state, file);
}
BENCHMARK(BM_DecodeTga32RunLength)->Unit(benchmark::kMicrosecond);
