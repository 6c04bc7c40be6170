#pragma once
// The GPU's copies of the device's memory. Each texture or surface gets one GL
// texture (2D, cube or 3D, every level), uploaded from the CPU bytes whenever
// their version moved since the last upload; what the GPU draws into it is
// marked newer on the GPU and read back into the CPU bytes only when asked.
// Buffers are uploaded the same way (the GPU never writes them). Framebuffers
// for each set of targets are made once and kept. An 8-bit colour texture read
// or drawn as sRGB is seen through a view of it that encodes sRGB, made once.
#include <array>
#include <optional>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gfx/raster/draw_call.h"
#include "platform/gfx/raster/gl_formats.h"

namespace gfx::raster {

class GlImages {
public:
    GlImages() = default;
    ~GlImages();
    GlImages(const GlImages&) = delete;
    GlImages& operator=(const GlImages&) = delete;

    // The GL texture holding `image`, uploaded if the CPU bytes moved; 0 when
    // the format has no GL form. With `srgb` its texels read as sRGB where
    // the format has an sRGB form (else as they are).
    uint32_t Texture(const ImageView& image, bool srgb = false);
    uint32_t Buffer(const BufferView& buffer);
    // A framebuffer with these targets attached (missing ones left empty); 0
    // when one cannot be made. The targets become newer on the GPU. With
    // `srgb` the colour targets that have an sRGB form are attached as sRGB,
    // for drawing with sRGB writes.
    uint32_t Framebuffer(const std::array<TargetView, kMaxTargets>& targets, const TargetView& depth,
                         bool srgb = false);
    // Copies a width x height block of texels from (sx, sy) of `source` to
    // (dx, dy) of `destination`, unchanged, when both are 2D images of one GL
    // format and the blocks lie inside their levels: what a same-size,
    // unfiltered stretch does, without drawing it. False (nothing copied)
    // otherwise. The destination becomes newer on the GPU.
    bool CopyTexels(const TargetView& source, int32_t sx, int32_t sy, const TargetView& destination, int32_t dx,
                    int32_t dy, int32_t width, int32_t height);
    // After drawing into or clearing these targets.
    void MarkDrawn(const std::array<TargetView, kMaxTargets>& targets, const TargetView& depth);
    void MarkDrawn(const ImageView& image);

    // Copies what the GPU holds into the image's CPU bytes, if it is newer.
    void ReadBack(const ImageView& image);
    // A depth-stencil image whose stencil holds nothing but zeros: clearing
    // its depth may set its stencil to zero too, which a CPU rasterizer does
    // as a plain fill instead of keeping the stencil texel by texel.
    bool StencilAllZero(const void* key) const;
    // The stencil was cleared to `value` or drawn into (`value` unknown).
    void StencilWritten(const void* key, std::optional<uint32_t> value);
    // The resource is gone: its GL objects too.
    void Forget(const void* key);

private:
    struct Mirror {
        uint32_t texture = 0;
        uint32_t srgbView = 0;   // made when first read or drawn as sRGB
        uint32_t target = 0;     // GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_3D
        uint64_t version = ~uint64_t{0};
        bool gpuNewer = false;
        bool stencilZero = false; // depth-stencil formats: every stencil texel is 0
        GlFormat format;
        uint32_t width = 0, height = 0, depth = 0, levels = 0, faces = 0, deviceFormat = 0;
    };
    struct BufferMirror {
        uint32_t buffer = 0;
        uint64_t version = ~uint64_t{0};
        uint32_t size = 0;
    };
    struct FramebufferKey {
        std::array<const void*, kMaxTargets + 1> keys{};
        std::array<uint32_t, kMaxTargets + 1> where{}; // face << 16 | level
        bool srgb = false;
        bool operator==(const FramebufferKey&) const = default;
    };
    struct FramebufferKeyHash {
        size_t operator()(const FramebufferKey& k) const;
    };

    Mirror* Ensure(const ImageView& image);
    void Upload(Mirror& mirror, const ImageView& image);
    // The sRGB view of the mirror's texture, 0 when its format has no sRGB form.
    uint32_t SrgbView(Mirror& mirror);

    std::unordered_map<const void*, Mirror> images_;
    std::unordered_map<const void*, BufferMirror> buffers_;
    std::unordered_map<FramebufferKey, uint32_t, FramebufferKeyHash> framebuffers_;
};

} // namespace gfx::raster
