#include "platform/gfx/image/texture_loader.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/texel_resample.h"

namespace gfx {

namespace {

// One face x level as the texture wants it, packed (rows at their own pitch).
struct Level {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t rowPitch = 0;
    uint64_t slicePitch = 0;
    std::vector<uint8_t> bytes;

    uint32_t Rows(uint32_t format) const { return IsBlockCompressed(format) ? (height + 3) / 4 : height; }
    TexelRegion Region() { return {bytes.data(), rowPitch, slicePitch, width, height, depth}; }
    TexelRegion Region() const { return {const_cast<uint8_t*>(bytes.data()), rowPitch, slicePitch, width, height, depth}; }
};

Level MakeLevel(uint32_t format, uint32_t width, uint32_t height, uint32_t depth)
{
    Level level;
    level.width = width;
    level.height = height;
    level.depth = depth;
    level.rowPitch = RowPitch(format, width);
    level.slicePitch = LevelSize(format, width, height);
    level.bytes.resize(static_cast<size_t>(level.slicePitch * depth));
    return level;
}

uint32_t Pow2Ceil(uint32_t value)
{
    uint32_t result = 1;
    while (result < value && result < (1u << 31))
        result <<= 1;
    return result;
}

uint32_t TargetSide(uint32_t asked, uint32_t file)
{
    if (asked == 0 || asked == kImageDefault)
        return Pow2Ceil(file);
    if (asked == kImageDefaultNonPow2 || asked == kImageFromFile)
        return file;
    return asked;
}

// The filter's kind is its low byte; the bits above it (mirroring, dithering)
// change nothing here. The default sizes and makes levels by the box.
ResampleFilter FilterOf(uint32_t filter)
{
    if (filter == kImageFilterDefault)
        return ResampleFilter::Box;
    switch (filter & 0xFF) {
    case kImageFilterNone: case kImageFilterPoint: return ResampleFilter::Nearest;
    case kImageFilterLinear: return ResampleFilter::Linear;
    default: return ResampleFilter::Box;
    }
}

// Scales `from` into `to` (already sized) in all three dimensions. Block
// formats are decoded, scaled and encoded again.
bool Resample(uint32_t format, const Level& from, Level& to, ResampleFilter filter)
{
    if (!IsBlockCompressed(format))
        return ResampleTexels(format, from.Region(), to.Region(), filter);
    Level wide = MakeLevel(kFormatA8R8G8B8, from.width, from.height, from.depth);
    Level narrow = MakeLevel(kFormatA8R8G8B8, to.width, to.height, to.depth);
    for (uint32_t z = 0; z < from.depth; ++z)
        DecodeBlocks(format, from.bytes.data() + from.slicePitch * z, from.width, from.height,
                     wide.bytes.data() + wide.slicePitch * z);
    if (!ResampleTexels(kFormatA8R8G8B8, wide.Region(), narrow.Region(), filter))
        return false;
    for (uint32_t z = 0; z < to.depth; ++z)
        EncodeBlocks(format, narrow.bytes.data() + narrow.slicePitch * z, to.width, to.height,
                     to.bytes.data() + to.slicePitch * z);
    return true;
}

Level FileLevel(const DecodedImage& image, uint32_t face, uint32_t level, bool firstSliceOnly)
{
    const ImageSubresource& sub = image.Subresource(face, level);
    Level out = MakeLevel(image.format, sub.width, sub.height, firstSliceOnly ? 1 : sub.depth);
    const uint8_t* from = image.Data(face, level);
    // The decoder keeps rows at the format's own pitch; copy row by row anyway.
    const uint32_t rows = out.Rows(image.format);
    for (uint32_t z = 0; z < out.depth; ++z)
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(out.bytes.data() + out.slicePitch * z + size_t(y) * out.rowPitch,
                        from + sub.slicePitch * z + size_t(y) * sub.rowPitch, out.rowPitch);
    return out;
}

struct Plan {
    uint32_t width = 0, height = 0, depth = 1, levels = 1, faces = 1, format = 0;
};

// Every face's levels as the texture wants them.
Result BuildLevels(const DecodedImage& image, const Plan& plan, const TextureFileParams& params, bool firstSliceOnly,
                   std::vector<std::vector<Level>>& faces)
{
    faces.assign(plan.faces, {});
    for (uint32_t face = 0; face < plan.faces; ++face) {
        std::vector<Level>& chain = faces[face];
        bool taken = true; // the levels so far are the file's own
        for (uint32_t level = 0; level < plan.levels; ++level) {
            const uint32_t w = MipExtent(plan.width, level), h = MipExtent(plan.height, level),
                           d = MipExtent(plan.depth, level);
            if (taken && level < image.levels) {
                const ImageSubresource& sub = image.Subresource(face, level);
                const uint32_t fileDepth = firstSliceOnly ? 1 : sub.depth;
                if (sub.width == w && sub.height == h && fileDepth == d) {
                    chain.push_back(FileLevel(image, face, level, firstSliceOnly));
                    continue;
                }
            }
            // The top level is sized from the file's with the filter; every level
            // below is made from the one above it with the mip filter.
            Level made = MakeLevel(plan.format, w, h, d);
            const bool fromFile = level == 0;
            const Level source = fromFile ? FileLevel(image, face, 0, firstSliceOnly) : Level{};
            if (!Resample(plan.format, fromFile ? source : chain.back(), made,
                          FilterOf(fromFile ? params.filter : params.mipFilter)))
                return kNotAvailable;
            taken = false;
            chain.push_back(std::move(made));
        }
    }
    return kOk;
}

void CopyRows(const Level& level, uint32_t format, uint8_t* bits, uint32_t rowPitch, uint64_t slicePitch)
{
    const uint32_t rows = level.Rows(format);
    for (uint32_t z = 0; z < level.depth; ++z)
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(bits + slicePitch * z + size_t(y) * rowPitch,
                        level.bytes.data() + level.slicePitch * z + size_t(y) * level.rowPitch, level.rowPitch);
}

// Writes the levels into a lockable texture.
Result Fill(Texture* texture, const std::vector<std::vector<Level>>& faces, uint32_t format)
{
    for (uint32_t level = 0; level < texture->GetLevelCount(); ++level) {
        LockedRect locked;
        Result result = texture->LockRect(level, &locked, nullptr, 0);
        if (Failed(result))
            return result;
        CopyRows(faces[0][level], format, static_cast<uint8_t*>(locked.bits), static_cast<uint32_t>(locked.pitch), 0);
        result = texture->UnlockRect(level);
        if (Failed(result))
            return result;
    }
    return kOk;
}

Result Fill(CubeTexture* texture, const std::vector<std::vector<Level>>& faces, uint32_t format)
{
    for (uint32_t face = 0; face < kCubeFaces; ++face) {
        for (uint32_t level = 0; level < texture->GetLevelCount(); ++level) {
            LockedRect locked;
            Result result = texture->LockRect(face, level, &locked, nullptr, 0);
            if (Failed(result))
                return result;
            CopyRows(faces[face][level], format, static_cast<uint8_t*>(locked.bits),
                     static_cast<uint32_t>(locked.pitch), 0);
            result = texture->UnlockRect(face, level);
            if (Failed(result))
                return result;
        }
    }
    return kOk;
}

Result Fill(VolumeTexture* texture, const std::vector<std::vector<Level>>& faces, uint32_t format)
{
    for (uint32_t level = 0; level < texture->GetLevelCount(); ++level) {
        LockedBox locked;
        Result result = texture->LockBox(level, &locked, nullptr, 0);
        if (Failed(result))
            return result;
        CopyRows(faces[0][level], format, static_cast<uint8_t*>(locked.bits), static_cast<uint32_t>(locked.rowPitch),
                 static_cast<uint32_t>(locked.slicePitch));
        result = texture->UnlockBox(level);
        if (Failed(result))
            return result;
    }
    return kOk;
}

Result Make(Device* device, const Plan& plan, const TextureFileParams&, uint32_t usage, uint32_t pool,
            Texture** out)
{
    return device->CreateTexture(plan.width, plan.height, plan.levels, usage, plan.format, pool, out);
}

Result Make(Device* device, const Plan& plan, const TextureFileParams&, uint32_t usage, uint32_t pool,
            CubeTexture** out)
{
    return device->CreateCubeTexture(plan.width, plan.levels, usage, plan.format, pool, out);
}

Result Make(Device* device, const Plan& plan, const TextureFileParams&, uint32_t usage, uint32_t pool,
            VolumeTexture** out)
{
    return device->CreateVolumeTexture(plan.width, plan.height, plan.depth, plan.levels, usage, plan.format, pool,
                                       out);
}

const char* KindName(ImageKind kind)
{
    switch (kind) {
    case ImageKind::Cube: return "cube";
    case ImageKind::Volume: return "volume";
    case ImageKind::Texture2D: break;
    }
    return "2D";
}

// A file that makes no texture is named in one line with the reason, as the
// caller's own message names only the file.
Result Refuse(const DecodeResult& why)
{
    std::cout << "Texture file not loaded: " << why.reason << ".\n";
    switch (why.status) {
    case DecodeStatus::OutOfMemory: return kOutOfMemory;
    case DecodeStatus::NoSuchFormat: return kNotAvailable;
    case DecodeStatus::Ok: case DecodeStatus::InvalidData: break;
    }
    return kInvalidData;
}

template <class T>
Result CreateFromFile(Device* device, const void* data, size_t size, const TextureFileParams& params, T** texture,
                      ImageFileInfo* info, ImageKind wanted)
{
    if (texture)
        *texture = nullptr;
    if (!device || !data || !texture)
        return kInvalidCall;

    DecodedImage image;
    const DecodeResult decoded = DecodeImage(data, size, image);
    if (!decoded.Ok())
        return Refuse(decoded);
    if (info)
        *info = {image.width, image.height, image.depth, image.levels, image.format, image.kind, image.fileType};

    const bool acceptable = image.kind == wanted || (wanted == ImageKind::Texture2D && image.kind == ImageKind::Cube) ||
                            (wanted == ImageKind::Volume && image.kind == ImageKind::Texture2D);
    if (!acceptable)
        return Refuse(DecodeResult::Invalid(std::string("a ") + KindName(image.kind) + " texture file makes no " +
                                            KindName(wanted) + " texture"));
    if (params.format != kFormatUnknown && params.format != kFormatFromFile && params.format != image.format)
        return kNotAvailable; // no conversion between formats

    Plan plan;
    plan.format = image.format;
    plan.faces = wanted == ImageKind::Cube ? kCubeFaces : 1;
    plan.width = TargetSide(params.width, image.width);
    plan.height = wanted == ImageKind::Cube ? plan.width : TargetSide(params.height, image.height);
    plan.depth = wanted == ImageKind::Volume ? TargetSide(params.depth, image.depth) : 1;
    if (IsBlockCompressed(plan.format)) {
        plan.width = BlockSide(plan.width);
        plan.height = wanted == ImageKind::Cube ? plan.width : BlockSide(plan.height);
    }
    if (plan.width == 0 || plan.height == 0 || plan.depth == 0 || plan.width > kMaxImageSide ||
        plan.height > kMaxImageSide || plan.depth > kMaxVolumeDepth)
        return kInvalidCall;
    const uint32_t full = FullMipLevels(plan.width, plan.height, plan.depth);
    if (params.levels == 0 || params.levels == kImageDefault)
        plan.levels = full;
    else if (params.levels == kImageFromFile)
        plan.levels = std::min(image.levels, full);
    else
        plan.levels = std::min(params.levels, full);

    // A texture that makes its own levels receives only the first.
    const bool autoGen = (params.usage & kUsageAutoGenMipMap) != 0 && params.pool != kPoolSystemMem;
    Plan filled = plan;
    if (autoGen)
        filled.levels = 1;

    std::vector<std::vector<Level>> faces;
    try {
        const Result built = BuildLevels(image, filled, params, wanted != ImageKind::Volume, faces);
        if (Failed(built))
            return built;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }

    T* made = nullptr;
    Plan created = plan;
    if (autoGen)
        created.levels = 0; // the device sizes the chain it makes
    Result result = Make(device, created, params, params.usage, params.pool, &made);
    if (Failed(result))
        return result;

    if (params.pool == kPoolDefault) {
        // Video memory is written the way the card is: from a system-memory copy.
        T* staging = nullptr;
        Plan stagingPlan = plan;
        stagingPlan.levels = made->GetLevelCount();
        result = Make(device, stagingPlan, params, 0, kPoolSystemMem, &staging);
        if (Succeeded(result)) {
            result = Fill(staging, faces, plan.format);
            if (Succeeded(result))
                result = device->UpdateTexture(staging, made);
            staging->Release();
        }
    } else {
        result = Fill(made, faces, plan.format);
    }
    if (Failed(result)) {
        made->Release();
        return result;
    }
    *texture = made;
    return kOk;
}

} // namespace

Result CreateTextureFromFileInMemory(Device* device, const void* data, size_t size, const TextureFileParams& params,
                                     Texture** texture, ImageFileInfo* info)
{
    return CreateFromFile(device, data, size, params, texture, info, ImageKind::Texture2D);
}

Result CreateCubeTextureFromFileInMemory(Device* device, const void* data, size_t size,
                                         const TextureFileParams& params, CubeTexture** texture, ImageFileInfo* info)
{
    return CreateFromFile(device, data, size, params, texture, info, ImageKind::Cube);
}

Result CreateVolumeTextureFromFileInMemory(Device* device, const void* data, size_t size,
                                           const TextureFileParams& params, VolumeTexture** texture,
                                           ImageFileInfo* info)
{
    return CreateFromFile(device, data, size, params, texture, info, ImageKind::Volume);
}

} // namespace gfx
