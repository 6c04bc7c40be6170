// Textures made from files: levels the file lacks made with a box filter in
// every channel layout and across a volume's depth, sizes the device wants
// made by the asked-for filter, block formats of every size, and refusals
// named in one line.
#include "platform/gfx/image/texture_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <cmath>
#include <cstring>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

#include "image_file_writers.h"
#include "jpeg_writer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/pixel_ops.h"
#include "png_writer.h"
#include "resident_peak.h"
#include "testing/dds_writer.h"
#include "testing/gfx_adapter_settings.h"
#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace {

using gfx::ImageKind;
using platform::testing::DdsSpec;
using platform::testing::WriteDds;

// How the test reads a format's channels, written out here on its own.
enum class K { U, S, H, F };
struct Field {
    uint32_t shift, bits;
    K kind;
};
struct Layout {
    uint32_t format;
    const char* name;
    uint32_t bytes;
    std::vector<Field> fields;
};

const std::vector<Layout>& Layouts()
{
    static const std::vector<Layout> layouts = {
        {gfx::kFormatA8R8G8B8, "A8R8G8B8", 4, {{0, 8, K::U}, {8, 8, K::U}, {16, 8, K::U}, {24, 8, K::U}}},
        {gfx::kFormatX8R8G8B8, "X8R8G8B8", 4, {{0, 8, K::U}, {8, 8, K::U}, {16, 8, K::U}, {24, 8, K::U}}},
        {gfx::kFormatR8G8B8, "R8G8B8", 3, {{0, 8, K::U}, {8, 8, K::U}, {16, 8, K::U}}},
        {gfx::kFormatL8, "L8", 1, {{0, 8, K::U}}},
        {gfx::kFormatA8L8, "A8L8", 2, {{0, 8, K::U}, {8, 8, K::U}}},
        {gfx::kFormatR5G6B5, "R5G6B5", 2, {{0, 5, K::U}, {5, 6, K::U}, {11, 5, K::U}}},
        {gfx::kFormatX1R5G5B5, "X1R5G5B5", 2, {{0, 5, K::U}, {5, 5, K::U}, {10, 5, K::U}, {15, 1, K::U}}},
        {gfx::kFormatA1R5G5B5, "A1R5G5B5", 2, {{0, 5, K::U}, {5, 5, K::U}, {10, 5, K::U}, {15, 1, K::U}}},
        {gfx::kFormatA4R4G4B4, "A4R4G4B4", 2, {{0, 4, K::U}, {4, 4, K::U}, {8, 4, K::U}, {12, 4, K::U}}},
        {gfx::kFormatL16, "L16", 2, {{0, 16, K::U}}},
        {gfx::kFormatG16R16, "G16R16", 4, {{0, 16, K::U}, {16, 16, K::U}}},
        {gfx::kFormatA16B16G16R16, "A16B16G16R16", 8, {{0, 16, K::U}, {16, 16, K::U}, {32, 16, K::U}, {48, 16, K::U}}},
        {gfx::kFormatA2R10G10B10, "A2R10G10B10", 4, {{0, 10, K::U}, {10, 10, K::U}, {20, 10, K::U}, {30, 2, K::U}}},
        {gfx::kFormatV8U8, "V8U8", 2, {{0, 8, K::S}, {8, 8, K::S}}},
        {gfx::kFormatQ8W8V8U8, "Q8W8V8U8", 4, {{0, 8, K::S}, {8, 8, K::S}, {16, 8, K::S}, {24, 8, K::S}}},
        {gfx::kFormatV16U16, "V16U16", 4, {{0, 16, K::S}, {16, 16, K::S}}},
        {gfx::kFormatR16F, "R16F", 2, {{0, 16, K::H}}},
        {gfx::kFormatA16B16G16R16F, "A16B16G16R16F", 8, {{0, 16, K::H}, {16, 16, K::H}, {32, 16, K::H}, {48, 16, K::H}}},
        {gfx::kFormatR32F, "R32F", 4, {{0, 32, K::F}}},
        {gfx::kFormatA32B32G32R32F, "A32B32G32R32F", 16, {{0, 32, K::F}, {32, 32, K::F}, {64, 32, K::F}, {96, 32, K::F}}},
    };
    return layouts;
}

double ReadField(const uint8_t* texel, const Layout& layout, const Field& field)
{
    if (field.kind == K::F) {
        float value;
        std::memcpy(&value, texel + field.shift / 8, 4);
        return value;
    }
    uint64_t word = 0;
    std::memcpy(&word, texel, std::min<uint32_t>(layout.bytes, 8));
    const uint64_t raw = (word >> field.shift) & ((uint64_t{1} << field.bits) - 1);
    if (field.kind == K::H)
        return gfx::HalfToFloat(uint16_t(raw));
    if (field.kind == K::S && raw >= (uint64_t{1} << (field.bits - 1)))
        return double(int64_t(raw) - (int64_t{1} << field.bits));
    return double(raw);
}

// Random texels whose channels cover each field's range.
std::vector<uint8_t> RandomTexels(const Layout& layout, size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count * layout.bytes);
    for (size_t t = 0; t < count; ++t) {
        uint8_t* texel = &bytes[t * layout.bytes];
        uint64_t word = 0;
        for (const Field& field : layout.fields) {
            if (field.kind == K::F) {
                const float value = std::uniform_real_distribution<float>(-100.0f, 100.0f)(random);
                std::memcpy(texel + field.shift / 8, &value, 4);
            } else if (field.kind == K::H) {
                const float value = std::uniform_real_distribution<float>(-10.0f, 10.0f)(random);
                word |= uint64_t(gfx::FloatToHalf(value)) << field.shift;
            } else {
                word |= (uint64_t(random()) & ((uint64_t{1} << field.bits) - 1)) << field.shift;
            }
        }
        if (layout.fields[0].kind != K::F)
            std::memcpy(texel, &word, std::min<uint32_t>(layout.bytes, 8));
    }
    return bytes;
}

// A filter: the source texels (and their weights) that make target texel i
// along an axis of `source` texels made into `target`.
using Weights = std::vector<std::pair<uint32_t, double>>;
using Filter = Weights (*)(uint32_t i, uint32_t source, uint32_t target);

// The box filter: each target texel the mean of the source texels it covers,
// each weighed by the part of it covered.
Weights BoxWeights(uint32_t i, uint32_t source, uint32_t target)
{
    const double low = double(i) * source / target, high = double(i + 1) * source / target;
    std::vector<std::pair<uint32_t, double>> weights;
    for (uint32_t j = uint32_t(low); j < source && j < high; ++j) {
        const double part = std::min(high, j + 1.0) - std::max(low, double(j));
        if (part > 1e-12)
            weights.push_back({j, part / (high - low)});
    }
    return weights;
}

Weights PointWeights(uint32_t i, uint32_t source, uint32_t target) { return {{i * source / target, 1.0}}; }

// Two taps about the texel's centre, clamped to the edge.
Weights LinearWeights(uint32_t i, uint32_t source, uint32_t target)
{
    const double at = std::clamp((i + 0.5) * source / target - 0.5, 0.0, double(source - 1));
    const uint32_t first = uint32_t(at);
    return {{first, 1 - (at - first)}, {std::min(first + 1, source - 1), at - first}};
}

struct Level {
    uint32_t width, height, depth;
    const uint8_t* texels;
};

// `filter` of the level `above` at texel (x, y, z) of `made`, each texel above
// read by `read` from its index.
template <class Read>
double FilterAt(Filter filter, const Level& above, const Level& made, uint32_t x, uint32_t y, uint32_t z, Read read)
{
    double sum = 0;
    for (const auto& [sz, wz] : filter(z, above.depth, made.depth))
        for (const auto& [sy, wy] : filter(y, above.height, made.height))
            for (const auto& [sx, wx] : filter(x, above.width, made.width))
                sum += wz * wy * wx * read((size_t(sz) * above.height + sy) * above.width + sx);
    return sum;
}

// Checks every texel of `made` against `filter` (by default the box) of `above`.
void ExpectFiltered(const Layout& layout, const Level& above, const Level& made, Filter filter = BoxWeights)
{
    for (uint32_t z = 0; z < made.depth; ++z)
        for (uint32_t y = 0; y < made.height; ++y)
            for (uint32_t x = 0; x < made.width; ++x)
                for (const Field& field : layout.fields) {
                    const double sum = FilterAt(filter, above, made, x, y, z, [&](size_t t) {
                        return ReadField(above.texels + t * layout.bytes, layout, field);
                    });
                    const size_t at = ((size_t(z) * made.height + y) * made.width + x) * layout.bytes;
                    const double got = ReadField(made.texels + at, layout, field);
                    // Integers round to the nearest; floats keep their precision.
                    const double allowed = field.kind == K::F   ? 1e-5 * (1 + std::fabs(sum))
                                           : field.kind == K::H ? 1.0 / 1024 * (1 + std::fabs(sum))
                                                                : 0.5 + 1e-3;
                    if (std::fabs(got - sum) > allowed) {
                        ADD_FAILURE() << layout.name << " texel " << x << "," << y << "," << z << " of "
                                      << made.width << "x" << made.height << "x" << made.depth << ": " << got
                                      << " for a filter's " << sum;
                        return;
                    }
                }
}

gfx::TextureFileParams OwnSizeInSystemMemory()
{
    gfx::TextureFileParams params;
    params.width = params.height = params.depth = gfx::kImageDefaultNonPow2;
    params.pool = gfx::kPoolSystemMem;
    return params;
}

// The texture `file` makes, a volume where `volume`: null, with the failure
// reported, where it makes none.
gfx::BaseTexture* Load(gfx::Device* device, const std::vector<uint8_t>& file, const gfx::TextureFileParams& params,
                       bool volume)
{
    gfx::Texture* flat = nullptr;
    gfx::VolumeTexture* deep = nullptr;
    EXPECT_EQ(volume ? gfx::CreateVolumeTextureFromFileInMemory(device, file.data(), file.size(), params, &deep)
                     : gfx::CreateTextureFromFileInMemory(device, file.data(), file.size(), params, &flat),
              gfx::kOk);
    return volume ? static_cast<gfx::BaseTexture*>(deep) : flat;
}

class TextureLoader : public ::testing::Test {
protected:
    gfx_test::TestDevice device;
};

TEST_F(TextureLoader, MadeLevelsAreTheBoxFilterOfTheLevelAboveInEveryLayoutAndAcrossAVolumesDepth)
{
    for (const Layout& layout : Layouts())
        // Odd sides: 37 x 19 halves to 18 x 9, 9 x 4, 4 x 2, 2 x 1, 1 x 1;
        // 9 x 7 x 5 to 4 x 3 x 2, 2 x 1 x 1, 1 x 1 x 1.
        for (const DdsSpec& spec : {DdsSpec{layout.format, ImageKind::Texture2D, 37, 19, 1, 1},
                                    DdsSpec{layout.format, ImageKind::Volume, 9, 7, 5, 1}}) {
            SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(spec.depth) + " deep");
            const bool volume = spec.kind == ImageKind::Volume;
            const std::vector<uint8_t> file = WriteDds(
                spec, RandomTexels(layout, size_t(spec.width) * spec.height * spec.depth, layout.format + volume));
            gfx::BaseTexture* texture = Load(device.device, file, OwnSizeInSystemMemory(), volume);
            ASSERT_NE(texture, nullptr);
            ASSERT_EQ(texture->GetLevelCount(), volume ? 4u : 6u);
            Level above{spec.width, spec.height, spec.depth, platform::testing::TextureBytes(*texture).data()};
            for (uint32_t level = 1; level < texture->GetLevelCount(); ++level) {
                const Level made{std::max(1u, above.width / 2), std::max(1u, above.height / 2),
                                 std::max(1u, above.depth / 2),
                                 above.texels + size_t(above.width) * above.height * above.depth * layout.bytes};
                ExpectFiltered(layout, above, made);
                above = made;
            }
            texture->Release();
        }
}

TEST_F(TextureLoader, SizesAreMadeByTheAskedForFilter)
{
    const Layout& layout = Layouts()[0]; // A8R8G8B8
    const std::vector<uint8_t> texels = RandomTexels(layout, 37 * 19, 11);
    const std::vector<uint8_t> file = WriteDds({layout.format, ImageKind::Texture2D, 37, 19, 1, 1}, texels);
    struct Case {
        uint32_t width, height, filter;
    };
    for (const Case& c : {Case{64, 32, gfx::kImageFilterDefault}, Case{16, 8, gfx::kImageFilterBox},
                          Case{16, 8, gfx::kImageFilterTriangle | 0x80000}, Case{64, 32, gfx::kImageFilterPoint},
                          Case{20, 40, gfx::kImageFilterLinear}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " filter " + std::to_string(c.filter));
        gfx::TextureFileParams params = OwnSizeInSystemMemory();
        params.width = c.width == 64 ? gfx::kImageDefault : c.width; // the default rounds up to powers of two
        params.height = c.width == 64 ? gfx::kImageDefault : c.height;
        params.levels = 1;
        params.filter = c.filter;
        gfx::Texture* texture = nullptr;
        ASSERT_EQ(gfx::CreateTextureFromFileInMemory(device.device, file.data(), file.size(), params, &texture), gfx::kOk);
        gfx::SurfaceDesc desc;
        texture->GetLevelDesc(0, &desc);
        ASSERT_EQ(desc.width, c.width);
        ASSERT_EQ(desc.height, c.height);
        const uint8_t* got = platform::testing::TextureBytes(*texture).data();
        ExpectFiltered(layout, {37, 19, 1, texels.data()}, {c.width, c.height, 1, got},
                          c.filter == gfx::kImageFilterPoint    ? PointWeights
                          : c.filter == gfx::kImageFilterLinear ? LinearWeights
                                                                : BoxWeights);
        texture->Release();
    }
}

TEST_F(TextureLoader, AFileLargerThanTheDeviceTakesIsScaledToItsLargestTextureBeforeLevelsAreMade)
{
    platform::testing::GfxAdapterSettings adapter;
    adapter.ChangeCaps([](gfx::Caps& caps) {
        caps.maxTextureWidth = 48;
        caps.maxTextureHeight = 40;
        caps.maxVolumeExtent = 4;
    });
    const Layout& layout = Layouts()[0]; // A8R8G8B8
    const std::vector<uint8_t> texels = RandomTexels(layout, 100 * 60, 5), deepTexels = RandomTexels(layout, 6 * 5 * 9, 6);
    const std::vector<uint8_t> file = WriteDds({layout.format, ImageKind::Texture2D, 100, 60, 1, 1}, texels);
    const std::vector<uint8_t> deepFile = WriteDds({layout.format, ImageKind::Volume, 6, 5, 9, 1}, deepTexels);
    struct Case {
        uint32_t asked, width, height, depth; // asked for every side
    };
    // Powers of two stay powers of two; the file's own size and asked-for
    // sizes are cut to the device's largest, side by side.
    for (const Case& c : {Case{gfx::kImageDefault, 32, 32, 1}, Case{gfx::kImageDefaultNonPow2, 48, 40, 1},
                          Case{200, 48, 40, 1}, Case{gfx::kImageDefaultNonPow2, 4, 4, 4}}) {
        const bool volume = c.depth > 1;
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.depth));
        gfx::TextureFileParams params = OwnSizeInSystemMemory();
        params.width = params.height = params.depth = c.asked;
        gfx::BaseTexture* texture = Load(device.device, volume ? deepFile : file, params, volume);
        ASSERT_NE(texture, nullptr);
        ASSERT_EQ(std::tuple(texture->Width(), texture->Height(), texture->Depth()), std::tuple(c.width, c.height, c.depth));
        EXPECT_EQ(texture->GetLevelCount(), gfx::FullMipLevels(c.width, c.height, c.depth));
        ExpectFiltered(layout, volume ? Level{6, 5, 9, deepTexels.data()} : Level{100, 60, 1, texels.data()},
                       {c.width, c.height, c.depth, platform::testing::TextureBytes(*texture).data()});
        texture->Release();
    }
}

TEST_F(TextureLoader, ALoadHoldsTheDecodedImageOnceBesideTheTextureItMakes)
{
    if (!image_files::ResidentPeak::Measurable())
        GTEST_SKIP() << "no bound on resident memory holds beside a thread sanitizer's shadow";
    // The device's largest texture a quarter of the files' sides: made from the image, nothing between.
    platform::testing::GfxAdapterSettings adapter;
    adapter.ChangeCaps([](gfx::Caps& caps) { caps.maxTextureWidth = caps.maxTextureHeight = 256; });
    constexpr uint32_t kSide = 1024, kTexels = kSide * kSide;
    // The picture's bytes are every file's samples (a quarter a BMP's indices, three a JPEG's colours).
    const std::vector<uint8_t> bgra = image_files::TestPicture(kSide, kSide, true);
    std::vector<uint8_t> rgbe = bgra;
    for (size_t i = 3; i < rgbe.size(); i += 4)
        rgbe[i] = 130;
    const std::pair<std::string, std::vector<uint8_t>> files[] = {
        {"TGA run-length", image_files::WriteTga(kSide, kSide, bgra, {.bits = 32, .runLength = true, .alphaBits = 8})},
        {"BMP RLE8", image_files::WriteBmp(kSide, kSide, {bgra.begin(), bgra.begin() + kTexels},
                                           {.bits = 8, .compression = 1, .table = std::vector<uint8_t>(4 * 256, 9)})},
        {"PNG", image_files::WritePng(kSide, kSide, {bgra.begin(), bgra.end()}, {6, 8})},
        {"JPEG", image_files::WriteJpeg(kSide, kSide, 3, {bgra.begin(), bgra.begin() + 3 * kTexels}, false)},
        {"HDR", image_files::WriteHdr(kSide, kSide, rgbe, true)},
    };
    for (const auto& [name, file] : files)
        for (uint32_t pool : {gfx::kPoolManaged, gfx::kPoolDefault}) {
            SCOPED_TRACE(name + " in pool " + std::to_string(pool));
            gfx::TextureFileParams params;
            params.pool = pool;
            const image_files::ResidentPeak peak;
            gfx::BaseTexture* texture = Load(device.device, file, params, false);
            ASSERT_NE(texture, nullptr);
            const uint64_t growth = peak.Growth();
            // The image (four floats a texel from HDR) and the texture, the default
            // pool's written from a copy in system memory; beside them, a little for
            // the allocator and an address sanitizer's shadow, an eighth.
            const uint64_t held = kTexels * (name == "HDR" ? 16 : 4) +
                                  platform::testing::TextureBytes(*texture).size() * (pool == gfx::kPoolDefault ? 2 : 1);
            EXPECT_LE(growth, held + held / 8 + (1u << 20));
            texture->Release();
        }
}

// How far the decoded level `made` is from the box filter of the decoded level
// above (mean |difference| over all channels, in 1/255), and how far the same
// box filter is from itself encoded by the block encoder: a made level is that
// filter encoded, so the two are alike.
struct BlockLevelError {
    double made = 0;
    double encoder = 0;
};

BlockLevelError MeasureBlockLevel(uint32_t format, const uint8_t* above, uint32_t aw, uint32_t ah, const uint8_t* made,
                                  uint32_t w, uint32_t h)
{
    std::vector<uint8_t> wide(size_t(aw) * ah * 4), narrow(size_t(w) * h * 4), box(size_t(w) * h * 4);
    gfx::DecodeBlocks(format, above, aw, ah, wide.data());
    gfx::DecodeBlocks(format, made, w, h, narrow.data());
    std::vector<double> exact(box.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (uint32_t c = 0; c < 4; ++c) {
                const double sum = FilterAt(BoxWeights, {aw, ah, 1, nullptr}, {w, h, 1, nullptr}, x, y, 0,
                                            [&](size_t t) { return wide[t * 4 + c]; });
                exact[(size_t(y) * w + x) * 4 + c] = sum;
                box[(size_t(y) * w + x) * 4 + c] = uint8_t(std::lround(sum));
            }
    std::vector<uint8_t> blocks(gfx::LevelSize(format, w, h)), encoded(box.size());
    gfx::EncodeBlocks(format, box.data(), w, h, blocks.data());
    gfx::DecodeBlocks(format, blocks.data(), w, h, encoded.data());
    BlockLevelError error;
    for (size_t i = 0; i < exact.size(); ++i) {
        error.made += std::fabs(narrow[i] - exact[i]) / double(exact.size());
        error.encoder += std::fabs(encoded[i] - exact[i]) / double(exact.size());
    }
    return error;
}

TEST_F(TextureLoader, BlockFilesOfEverySizeLoadAndMakeTheirLevels)
{
    struct Case {
        uint32_t width, height;
        uint32_t ownWidth, ownHeight; // the texture at the file's own size
    };
    // A side of less than a block stays; a larger one grows to whole blocks.
    for (const Case& c : {Case{1, 1, 1, 1}, Case{2, 2, 2, 2}, Case{16, 2, 16, 2}, Case{3, 5, 3, 8}, Case{6, 6, 8, 8},
                          Case{32, 32, 32, 32}}) {
        for (uint32_t format : {gfx::kFormatDXT1, gfx::kFormatDXT3, gfx::kFormatDXT5}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " format " + std::to_string(format));
            // Smooth texels with alpha, encoded by the loader's own encoder.
            std::vector<uint8_t> texels(size_t(c.width) * c.height * 4);
            for (uint32_t y = 0; y < c.height; ++y)
                for (uint32_t x = 0; x < c.width; ++x) {
                    uint8_t* t = &texels[(size_t(y) * c.width + x) * 4];
                    t[0] = uint8_t(x * 8), t[1] = uint8_t(y * 8), t[2] = uint8_t(128 + x * 2 - y), t[3] = 255;
                }
            std::vector<uint8_t> blocks(gfx::LevelSize(format, c.width, c.height));
            gfx::EncodeBlocks(format, texels.data(), c.width, c.height, blocks.data());
            const std::vector<uint8_t> file = WriteDds({format, ImageKind::Texture2D, c.width, c.height, 1, 1}, blocks);
            gfx::Texture* texture = nullptr;
            ASSERT_EQ(gfx::CreateTextureFromFileInMemory(device.device, file.data(), file.size(), OwnSizeInSystemMemory(),
                                                         &texture),
                      gfx::kOk);
            gfx::SurfaceDesc desc;
            texture->GetLevelDesc(0, &desc);
            EXPECT_EQ(desc.width, c.ownWidth);
            EXPECT_EQ(desc.height, c.ownHeight);
            EXPECT_EQ(texture->GetLevelCount(), gfx::FullMipLevels(c.ownWidth, c.ownHeight));
            const uint8_t* bytes = platform::testing::TextureBytes(*texture).data();
            if (c.ownWidth == c.width && c.ownHeight == c.height) {
                EXPECT_EQ(0, std::memcmp(bytes, blocks.data(), blocks.size())) << "the file's own level is kept";
            }
            uint32_t w = c.ownWidth, h = c.ownHeight;
            for (uint32_t level = 1; level < texture->GetLevelCount(); ++level) {
                const uint8_t* next = bytes + gfx::LevelSize(format, w, h);
                const uint32_t nw = std::max(1u, w / 2), nh = std::max(1u, h / 2);
                const BlockLevelError error = MeasureBlockLevel(format, bytes, w, h, next, nw, nh);
                EXPECT_LE(error.made, error.encoder + 0.25) << "level " << level;
                bytes = next;
                w = nw, h = nh;
            }
            texture->Release();
        }
    }
}

// A picture of 128 x 128 B, G, R, A texels for the block encoder: noise, two
// hues a block, or smooth light and shade with a little grain; with
// `transparent`, a quarter of the texels of every block transparent.
std::vector<uint8_t> EncoderPicture(const std::string& kind, bool transparent)
{
    std::mt19937 random(17);
    std::vector<uint8_t> bgra(128 * 128 * 4), hues(32 * 32 * 6); // two a block
    for (uint8_t& c : hues)
        c = uint8_t(random());
    for (uint32_t y = 0; y < 128; ++y)
        for (uint32_t x = 0; x < 128; ++x) {
            uint8_t* t = &bgra[(y * 128 + x) * 4];
            const uint8_t* hue = &hues[((y / 4) * 32 + x / 4) * 6 + 3 * (random() % 2)];
            for (uint32_t c = 0; c < 3; ++c)
                t[c] = kind == "noise"      ? uint8_t(random())
                       : kind == "two hues" ? hue[c]
                                            : uint8_t(std::clamp(128 + 90 * std::sin(x * 0.07 + c) * std::cos(y * 0.05 - c) +
                                                                     int(random() % 5) - 2,
                                                                 0.0, 255.0));
            t[3] = transparent && (x + 2 * y) % 4 == 0 ? 0 : 255;
        }
    return bgra;
}

TEST(BlockEncoder, ReachesTheErrorOfAWellKeptEncoder)
{
    // Bounds in 1/255 of a colour channel of the opaque texels: the root mean
    // square and the worst. Two hues a block encode as the block's own end
    // points: every channel within the rounding to 5 bits and back (4 of 255,
    // and 1 for the decoder's truncation). Noise and the shaded picture are
    // held a little above what this encoder reaches, fitting each block along
    // its colours' principal axis: 53.2 and 3.17 in four colours, 61.2 and
    // 3.73 in three beside transparent texels. An encoder sending opaque blocks
    // through three colours (63.5, 3.72), or fitting them along the grey axis
    // (66.2, 3.96) or their widest channel (65.6, 3.84), is past them.
    // Refining its end points once rather than twice (53.6, 3.20) is past them too.
    const struct {
        const char* kind;
        uint32_t format;
        bool transparent; // DXT1's three-colour blocks
        double rms, worst;
    } cases[] = {
        {"two hues", gfx::kFormatDXT1, false, 2.5, 5},   {"two hues", gfx::kFormatDXT1, true, 2.5, 5},
        {"two hues", gfx::kFormatDXT5, false, 2.5, 5},   {"noise", gfx::kFormatDXT1, false, 53.4, 255},
        {"noise", gfx::kFormatDXT1, true, 63, 255},      {"noise", gfx::kFormatDXT5, false, 53.4, 255},
        {"shaded", gfx::kFormatDXT1, false, 3.18, 24},   {"shaded", gfx::kFormatDXT1, true, 3.8, 24},
        {"shaded", gfx::kFormatDXT5, false, 3.18, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " format " + std::to_string(c.format) + (c.transparent ? " transparent" : ""));
        const std::vector<uint8_t> bgra = EncoderPicture(c.kind, c.transparent);
        std::vector<uint8_t> blocks(gfx::LevelSize(c.format, 128, 128)), back(bgra.size());
        gfx::EncodeBlocks(c.format, bgra.data(), 128, 128, blocks.data());
        gfx::DecodeBlocks(c.format, blocks.data(), 128, 128, back.data());
        double squares = 0, worst = 0, count = 0;
        size_t alphaLost = 0; // texels transparent made opaque or opaque made transparent
        for (size_t i = 0; i < bgra.size(); i += 4) {
            alphaLost += (back[i + 3] >= 128) != (bgra[i + 3] >= 128);
            for (uint32_t k = 0; k < 3 && bgra[i + 3] >= 128; ++k, ++count) {
                const double d = double(back[i + k]) - bgra[i + k];
                squares += d * d;
                worst = std::max(worst, std::fabs(d));
            }
        }
        EXPECT_LE(std::sqrt(squares / count), c.rms);
        EXPECT_LE(worst, c.worst);
        EXPECT_EQ(alphaLost, 0u);
    }
}

TEST_F(TextureLoader, AFileOfAFormatTheDeviceHasNotIsNamedInOneLine)
{
    std::vector<uint8_t> file = WriteDds({gfx::kFormatDXT5, ImageKind::Texture2D, 8, 8, 1, 1});
    std::memcpy(&file[84], "ATI2", 4);
    std::ostringstream said;
    std::streambuf* saved = std::cout.rdbuf(said.rdbuf());
    gfx::Texture* texture = nullptr;
    const gfx::Result result = gfx::CreateTextureFromFileInMemory(device.device, file.data(), file.size(),
                                                                  gfx::TextureFileParams{}, &texture);
    const std::string junk = "no picture";
    const gfx::Result junkResult = gfx::CreateTextureFromFileInMemory(device.device, junk.data(), junk.size(),
                                                                      gfx::TextureFileParams{}, &texture);
    std::cout.rdbuf(saved);
    EXPECT_EQ(result, gfx::kNotAvailable);
    EXPECT_EQ(junkResult, gfx::kInvalidData);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(said.str(),
              "Texture file not loaded: DDS texels in 'ATI2' (two channels in 4 x 4 blocks (3Dc, BC5)), a format the "
              "device here has not.\n"
              "Texture file not loaded: not a texture file of a kind read here (BMP, DDS, DIB, HDR, JPEG, PFM, PNG, "
              "PPM or TGA).\n");
}

} // namespace
