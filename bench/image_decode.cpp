// Decoding texture files from memory, into an image decoded into before (as
// a loader that keeps its image does): a 2048 x 2048 DXT1 DDS file with its
// full mip chain beside a plain copy of the same texel bytes, a run-length TGA
// and BMP, a PNG and a JPEG; and the DXT encoder's time and error.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/image_decode.h"
#include "platform/gfx/image/texture_loader.h"
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

// The kinds stb_image decodes, from pictures stb_image_write makes: a 512 x 512
// colour PNG and JPEG of smooth content with some detail.
namespace {

std::vector<uint8_t> SmoothPicture(int width, int height)
{
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* t = &rgba[(size_t(y) * width + x) * 4];
            t[0] = uint8_t(x / 2 + ((x * y) & 7));
            t[1] = uint8_t(y / 2);
            t[2] = uint8_t(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.03));
            t[3] = uint8_t(255 - x / 4);
        }
    return rgba;
}

void Append(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

} // namespace

static void BM_DecodePng512(benchmark::State& state)
{
    const std::vector<uint8_t> rgba = SmoothPicture(512, 512);
    std::vector<uint8_t> file;
    stbi_write_png_to_func(Append, &file, 512, 512, 4, rgba.data(), 512 * 4);
    DecodeEachIteration(state, file);
    state.SetBytesProcessed(int64_t(state.iterations()) * 512 * 512 * 4);
}
BENCHMARK(BM_DecodePng512)->Unit(benchmark::kMicrosecond);

static void BM_DecodeJpeg512(benchmark::State& state)
{
    const std::vector<uint8_t> rgba = SmoothPicture(512, 512);
    std::vector<uint8_t> file;
    stbi_write_jpg_to_func(Append, &file, 512, 512, 4, rgba.data(), 90);
    DecodeEachIteration(state, file);
    state.SetBytesProcessed(int64_t(state.iterations()) * 512 * 512 * 4);
}
BENCHMARK(BM_DecodeJpeg512)->Unit(benchmark::kMicrosecond);

static void BM_DecodeBmp8RunLength(benchmark::State& state)
{
    // 512 x 512 colour-table indices in RLE8 runs of 16.
    std::vector<uint8_t> runs;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; x += 16)
            runs.insert(runs.end(), {16, uint8_t((x / 16 + y) & 0xFF)});
        runs.insert(runs.end(), {0, uint8_t(y == 511 ? 1 : 0)});
    }
    std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 4, 0, 0, 40, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0,
                                 1, 0, 8, 0, 1, 0, 0, 0};
    file.resize(54, 0);
    for (int i = 0; i < 256; ++i)
        file.insert(file.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
    file.insert(file.end(), runs.begin(), runs.end());
    DecodeEachIteration(state, file);
    state.SetBytesProcessed(int64_t(state.iterations()) * 512 * 512 * 4);
}
BENCHMARK(BM_DecodeBmp8RunLength)->Unit(benchmark::kMicrosecond);

// DXT encoding of made levels: time a 256 x 256 image takes, and the error
// of its texels decoded again against the image (root mean square over the
// colour channels in 1/255, alpha too for DXT5), on uniform noise, on blocks
// of two hues each mixed at random (where an axis from per-channel extremes
// fails), and on the demonstration's baked ground texture (when the run
// folder has been filled) as natural content.
namespace {

std::vector<uint8_t> NoisePicture(uint32_t side, bool twoHues)
{
    std::mt19937 random(7);
    std::vector<uint8_t> bgra(size_t(side) * side * 4);
    for (uint32_t by = 0; by < side / 4; ++by)
        for (uint32_t bx = 0; bx < side / 4; ++bx) {
            int a[3], b[3];
            for (int c = 0; c < 3; ++c)
                a[c] = int(random() % 256), b[c] = int(random() % 256);
            for (uint32_t i = 0; i < 16; ++i) {
                uint8_t* t = &bgra[((size_t(by) * 4 + i / 4) * side + bx * 4 + i % 4) * 4];
                const double mix = double(random() % 1000) / 999.0;
                for (int c = 0; c < 3; ++c)
                    t[c] = twoHues ? uint8_t(std::lround(a[c] + (b[c] - a[c]) * mix)) : uint8_t(random());
                t[3] = uint8_t(random());
            }
        }
    return bgra;
}

bool NaturalPicture(std::vector<uint8_t>& bgra, uint32_t& side)
{
    std::ifstream in(std::string(ZANDREL_RUN_DIR) + "/textures/box2_prtP.BMP", std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    gfx::DecodedImage image;
    if (!gfx::DecodeImage(file.data(), file.size(), image).Ok() || image.width != image.height ||
        gfx::BytesPerTexel(image.format) != 4)
        return false;
    side = image.width;
    bgra.assign(image.bytes.begin(), image.bytes.end());
    return true;
}

void EncodeAndMeasure(benchmark::State& state, uint32_t format, std::vector<uint8_t> bgra, uint32_t side)
{
    if (format == gfx::kFormatDXT1) // colour alone: DXT1's transparency is another question
        for (size_t i = 3; i < bgra.size(); i += 4)
            bgra[i] = 255;
    std::vector<uint8_t> blocks(gfx::LevelSize(format, side, side));
    for (auto _ : state) {
        gfx::EncodeBlocks(format, bgra.data(), side, side, blocks.data());
        benchmark::DoNotOptimize(blocks.data());
    }
    std::vector<uint8_t> back(bgra.size());
    gfx::DecodeBlocks(format, blocks.data(), side, side, back.data());
    const uint32_t channels = format == gfx::kFormatDXT1 ? 3 : 4;
    double squares = 0;
    for (size_t i = 0; i < bgra.size(); i += 4)
        for (uint32_t c = 0; c < channels; ++c)
            squares += (double(back[i + c]) - bgra[i + c]) * (double(back[i + c]) - bgra[i + c]);
    state.counters["rmse"] = std::sqrt(squares / (double(bgra.size()) / 4 * channels));
    state.SetItemsProcessed(int64_t(state.iterations()) * side * side);
}

} // namespace

static void BM_EncodeDxt(benchmark::State& state)
{
    const uint32_t format = state.range(0) == 1 ? gfx::kFormatDXT1 : gfx::kFormatDXT5;
    std::vector<uint8_t> bgra;
    uint32_t side = 256;
    switch (state.range(1)) {
    case 0: bgra = NoisePicture(side, false); break;
    case 1: bgra = NoisePicture(side, true); break;
    default:
        if (!NaturalPicture(bgra, side)) {
            state.SkipWithError("no baked ground texture (is the run folder filled?)");
            return;
        }
    }
    EncodeAndMeasure(state, format, std::move(bgra), side);
}
// DXT1 or DXT5; noise, two hues a block, the baked ground.
BENCHMARK(BM_EncodeDxt)->ArgsProduct({{1, 5}, {0, 1, 2}})->ArgNames({"dxt", "content"})->Unit(benchmark::kMillisecond);
