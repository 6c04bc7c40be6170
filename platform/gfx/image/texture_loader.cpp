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

// Block formats are scaled through A8R8G8B8 texels, a level at a time.
std::vector<uint8_t> ArgbLevel(uint32_t width, uint32_t height, uint32_t depth)
{
    return std::vector<uint8_t>(size_t(LevelSize(kFormatA8R8G8B8, width, height)) * depth);
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

uint32_t Pow2Floor(uint32_t value)
{
    uint32_t result = 1;
    while (result * 2 <= value && result < (1u << 31))
        result <<= 1;
    return result;
}

// Scales `from` into `to` in all three dimensions. Block formats are decoded,
// scaled and encoded again.
bool Resample(uint32_t format, const TexelRegion& from, const TexelRegion& to, ResampleFilter filter)
{
    if (!IsBlockCompressed(format))
        return ResampleTexels(format, from, to, filter);
    std::vector<uint8_t> wide = ArgbLevel(from.width, from.height, from.depth);
    std::vector<uint8_t> narrow = ArgbLevel(to.width, to.height, to.depth);
    const uint64_t wideSlice = LevelSize(kFormatA8R8G8B8, from.width, from.height);
    const uint64_t narrowSlice = LevelSize(kFormatA8R8G8B8, to.width, to.height);
    for (uint32_t z = 0; z < from.depth; ++z)
        DecodeBlocks(format, from.bits + from.slicePitch * z, from.width, from.height, wide.data() + wideSlice * z);
    const TexelRegion wideRegion{wide.data(), RowPitch(kFormatA8R8G8B8, from.width), wideSlice, from.width, from.height,
                                 from.depth};
    const TexelRegion narrowRegion{narrow.data(), RowPitch(kFormatA8R8G8B8, to.width), narrowSlice, to.width, to.height,
                                   to.depth};
    if (!ResampleTexels(kFormatA8R8G8B8, wideRegion, narrowRegion, filter))
        return false;
    for (uint32_t z = 0; z < to.depth; ++z)
        EncodeBlocks(format, narrow.data() + narrowSlice * z, to.width, to.height, to.bits + to.slicePitch * z);
    return true;
}

// A face x level of the file's image, where the decoder put it.
TexelRegion FileRegion(const DecodedImage& image, uint32_t face, uint32_t level, bool firstSliceOnly)
{
    const ImageSubresource& sub = image.Subresource(face, level);
    return {const_cast<uint8_t*>(image.Data(face, level)), sub.rowPitch, sub.slicePitch, sub.width, sub.height,
            firstSliceOnly ? 1 : sub.depth};
}

void CopyRegion(uint32_t format, const TexelRegion& from, const TexelRegion& to)
{
    const uint32_t rows = IsBlockCompressed(format) ? (to.height + 3) / 4 : to.height;
    const uint32_t bytes = RowPitch(format, to.width);
    for (uint32_t z = 0; z < to.depth; ++z)
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(to.bits + to.slicePitch * z + size_t(y) * to.rowPitch,
                        from.bits + from.slicePitch * z + size_t(y) * from.rowPitch, bytes);
}

struct Plan {
    uint32_t width = 0, height = 0, depth = 1, levels = 1, faces = 1, format = 0;
};

// Each kind of texture's levels, locked as regions of texels.
Result LockLevel(Texture* texture, uint32_t, uint32_t level, TexelRegion& region)
{
    LockedRect locked;
    const Result result = texture->LockRect(level, &locked, nullptr, 0);
    region.bits = static_cast<uint8_t*>(locked.bits);
    region.rowPitch = static_cast<uint32_t>(locked.pitch);
    return result;
}

Result LockLevel(CubeTexture* texture, uint32_t face, uint32_t level, TexelRegion& region)
{
    LockedRect locked;
    const Result result = texture->LockRect(face, level, &locked, nullptr, 0);
    region.bits = static_cast<uint8_t*>(locked.bits);
    region.rowPitch = static_cast<uint32_t>(locked.pitch);
    return result;
}

Result LockLevel(VolumeTexture* texture, uint32_t, uint32_t level, TexelRegion& region)
{
    LockedBox locked;
    const Result result = texture->LockBox(level, &locked, nullptr, 0);
    region.bits = static_cast<uint8_t*>(locked.bits);
    region.rowPitch = static_cast<uint32_t>(locked.rowPitch);
    region.slicePitch = static_cast<uint32_t>(locked.slicePitch);
    return result;
}

Result UnlockLevel(Texture* texture, uint32_t, uint32_t level) { return texture->UnlockRect(level); }
Result UnlockLevel(CubeTexture* texture, uint32_t face, uint32_t level) { return texture->UnlockRect(face, level); }
Result UnlockLevel(VolumeTexture* texture, uint32_t, uint32_t level) { return texture->UnlockBox(level); }

// Writes every face's levels into a lockable texture, straight from the
// file's image: a file's level is copied when its size is the one wanted;
// the top level is otherwise sized from the file's with the filter, and every
// level below is made from the one above it, still locked, with the mip
// filter. Nothing but the texture holds the levels made.
template <class T>
Result Fill(T* texture, const DecodedImage& image, const Plan& plan, const TextureFileParams& params,
            bool firstSliceOnly)
{
    for (uint32_t face = 0; face < plan.faces; ++face) {
        bool taken = true; // the levels so far are the file's own
        TexelRegion above;
        for (uint32_t level = 0; level < texture->GetLevelCount(); ++level) {
            TexelRegion to{nullptr, 0, 0, MipExtent(plan.width, level), MipExtent(plan.height, level),
                           MipExtent(plan.depth, level)};
            Result result = LockLevel(texture, face, level, to);
            bool made = true;
            if (Succeeded(result)) {
                const ImageSubresource* sub = taken && level < image.levels ? &image.Subresource(face, level) : nullptr;
                if (sub && sub->width == to.width && sub->height == to.height &&
                    (firstSliceOnly ? 1 : sub->depth) == to.depth) {
                    CopyRegion(plan.format, FileRegion(image, face, level, firstSliceOnly), to);
                } else {
                    made = Resample(plan.format, level == 0 ? FileRegion(image, face, 0, firstSliceOnly) : above, to,
                                    FilterOf(level == 0 ? params.filter : params.mipFilter));
                    taken = false;
                }
            }
            if (level > 0) {
                const Result unlocked = UnlockLevel(texture, face, level - 1);
                if (Succeeded(result))
                    result = unlocked;
            }
            if (Failed(result))
                return result;
            if (!made) {
                UnlockLevel(texture, face, level);
                return kNotAvailable;
            }
            above = to;
            if (level + 1 == texture->GetLevelCount() && Failed(result = UnlockLevel(texture, face, level)))
                return result;
        }
    }
    return kOk;
}

Result Make(Device* device, const Plan& plan, uint32_t usage, uint32_t pool, Texture** out)
{
    return device->CreateTexture(plan.width, plan.height, plan.levels, usage, plan.format, pool, out);
}

Result Make(Device* device, const Plan& plan, uint32_t usage, uint32_t pool, CubeTexture** out)
{
    return device->CreateCubeTexture(plan.width, plan.levels, usage, plan.format, pool, out);
}

Result Make(Device* device, const Plan& plan, uint32_t usage, uint32_t pool, VolumeTexture** out)
{
    return device->CreateVolumeTexture(plan.width, plan.height, plan.depth, plan.levels, usage, plan.format, pool,
                                       out);
}

// A side as the device takes it: at most its largest, a power of two kept one.
uint32_t DeviceSide(uint32_t side, uint32_t most, bool powerOfTwo)
{
    if (side <= most)
        return side;
    return powerOfTwo ? Pow2Floor(most) : most;
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
    if (plan.width == 0 || plan.height == 0 || plan.depth == 0 || plan.width > kMaxImageSide ||
        plan.height > kMaxImageSide || plan.depth > kMaxVolumeDepth)
        return kInvalidCall;
    // Sized to what the device takes before any level is made.
    Caps caps;
    device->GetDeviceCaps(&caps);
    const bool volume = wanted == ImageKind::Volume;
    const auto pow2 = [](uint32_t asked) { return asked == 0 || asked == kImageDefault; };
    plan.width = DeviceSide(plan.width, volume ? caps.maxVolumeExtent : caps.maxTextureWidth, pow2(params.width));
    plan.height = wanted == ImageKind::Cube
                      ? plan.width
                      : DeviceSide(plan.height, volume ? caps.maxVolumeExtent : caps.maxTextureHeight, pow2(params.height));
    plan.depth = volume ? DeviceSide(plan.depth, caps.maxVolumeExtent, pow2(params.depth)) : 1;
    if (IsBlockCompressed(plan.format)) {
        // Grown to whole blocks, or cut back to them where that passes the device's largest.
        const auto blocks = [](uint32_t side, uint32_t most) {
            return BlockSide(side) <= most || most < 4 ? BlockSide(side) : most / 4 * 4;
        };
        plan.width = blocks(plan.width, caps.maxTextureWidth);
        plan.height = wanted == ImageKind::Cube ? plan.width : blocks(plan.height, caps.maxTextureHeight);
    }
    const uint32_t full = FullMipLevels(plan.width, plan.height, plan.depth);
    if (params.levels == 0 || params.levels == kImageDefault)
        plan.levels = full;
    else if (params.levels == kImageFromFile)
        plan.levels = std::min(image.levels, full);
    else
        plan.levels = std::min(params.levels, full);

    // A texture that makes its own levels is made with its whole chain and
    // receives only the first.
    const bool autoGen = (params.usage & kUsageAutoGenMipMap) != 0 && params.pool != kPoolSystemMem;
    T* made = nullptr;
    Plan created = plan;
    if (autoGen)
        created.levels = 0; // the device sizes the chain it makes
    Result result = Make(device, created, params.usage, params.pool, &made);
    if (Failed(result))
        return result;

    try {
        if (params.pool == kPoolDefault) {
            // Video memory is written the way the card is: from a system-memory
            // copy, filled while the image is held, which then goes before
            // the card's copy is written.
            T* staging = nullptr;
            Plan stagingPlan = plan;
            stagingPlan.levels = made->GetLevelCount();
            result = Make(device, stagingPlan, 0, kPoolSystemMem, &staging);
            if (Succeeded(result)) {
                result = Fill(staging, image, plan, params, wanted != ImageKind::Volume);
                image = DecodedImage{};
                if (Succeeded(result))
                    result = device->UpdateTexture(staging, made);
                staging->Release();
            }
        } else {
            result = Fill(made, image, plan, params, wanted != ImageKind::Volume);
        }
    } catch (const std::bad_alloc&) {
        result = kOutOfMemory;
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
