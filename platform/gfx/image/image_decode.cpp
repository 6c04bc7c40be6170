#include "platform/gfx/image/image_decode.h"

#include <new>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/bmp_reader.h"
#include "platform/gfx/image/dds_reader.h"
#include "platform/gfx/image/hdr_reader.h"
#include "platform/gfx/image/jpeg_reader.h"
#include "platform/gfx/image/png_reader.h"
#include "platform/gfx/image/pnm_reader.h"
#include "platform/gfx/image/tga_reader.h"

namespace gfx {

namespace {

bool IsTexelFormat(uint32_t format)
{
    return IsBlockCompressed(format) ||
           (BytesPerTexel(format) != 0 && !IsDepthFormat(format) && format != kFormatIndex16 &&
            format != kFormatIndex32);
}

} // namespace

ImageFileType SniffImageFileType(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr)
        return ImageFileType::Unknown;
    // The order matters: a DIB and a TGA have no signature of their own, so they come last.
    static constexpr struct {
        bool (*looksLike)(const uint8_t*, size_t);
        ImageFileType type;
    } kKinds[] = {
        {LooksLikeDds, ImageFileType::Dds}, {LooksLikeBmp, ImageFileType::Bmp}, {LooksLikePng, ImageFileType::Png},
        {LooksLikeJpeg, ImageFileType::Jpg}, {LooksLikeHdr, ImageFileType::Hdr}, {LooksLikePfm, ImageFileType::Pfm},
        {LooksLikePnm, ImageFileType::Pnm}, {LooksLikeDib, ImageFileType::Dib}, {LooksLikeTga, ImageFileType::Tga},
    };
    for (const auto& kind : kKinds)
        if (kind.looksLike(bytes, size))
            return kind.type;
    return ImageFileType::Unknown;
}

void DecodedImage::Clear()
{
    TexelBytes keptBytes = std::move(bytes);
    std::vector<ImageSubresource> keptSubresources = std::move(subresources);
    *this = DecodedImage{};
    keptBytes.clear();
    keptSubresources.clear();
    bytes = std::move(keptBytes);
    subresources = std::move(keptSubresources);
}

DecodeResult DecodeImage(const void* data, size_t size, DecodedImage& out)
{
    out.Clear();
    const auto* bytes = static_cast<const uint8_t*>(data);
    DecodeResult result;
    try {
        switch (SniffImageFileType(data, size)) {
        case ImageFileType::Dds: result = ReadDds(bytes, size, out); break;
        case ImageFileType::Bmp: result = ReadBmp(bytes, size, out); break;
        case ImageFileType::Tga: result = ReadTga(bytes, size, out); break;
        case ImageFileType::Dib: result = ReadDib(bytes, size, out); break;
        case ImageFileType::Png: result = ReadPng(bytes, size, out); break;
        case ImageFileType::Jpg: result = ReadJpeg(bytes, size, out); break;
        case ImageFileType::Hdr: result = ReadHdr(bytes, size, out); break;
        case ImageFileType::Pfm: result = ReadPfm(bytes, size, out); break;
        case ImageFileType::Pnm: result = ReadPnm(bytes, size, out); break;
        case ImageFileType::Unknown:
            result = DecodeResult::Invalid(size == 0 ? "empty file"
                                                     : "not a texture file of a kind read here (BMP, DDS, DIB, HDR, "
                                                       "JPEG, PFM, PNG, PPM or TGA)");
            break;
        }
    } catch (const std::bad_alloc&) {
        result = {DecodeStatus::OutOfMemory, "not enough memory for the texels"};
    }
    if (!result.Ok())
        out.Clear();
    return result;
}

uint64_t ImageByteSize(uint32_t format, ImageKind kind, uint32_t width, uint32_t height, uint32_t depth,
                       uint32_t levels)
{
    if (!IsTexelFormat(format) || width == 0 || height == 0 || depth == 0)
        return 0;
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        const uint64_t slice = LevelSize(format, MipExtent(width, level), MipExtent(height, level));
        total += slice * (kind == ImageKind::Volume ? MipExtent(depth, level) : 1u);
    }
    return kind == ImageKind::Cube ? total * 6 : total;
}

DecodeResult LayOutImage(DecodedImage& image, uint64_t limit)
{
    if (!IsTexelFormat(image.format))
        return DecodeResult::Invalid("unsupported texel format " + std::to_string(image.format));
    if (image.width == 0 || image.height == 0 || image.depth == 0)
        return DecodeResult::Invalid("image has no texels (a size of 0)");
    if (image.width > kMaxImageSide || image.height > kMaxImageSide)
        return DecodeResult::Invalid("image of " + std::to_string(image.width) + " x " +
                                     std::to_string(image.height) + " is larger than " +
                                     std::to_string(kMaxImageSide) + " texels a side");
    if (image.depth > kMaxVolumeDepth)
        return DecodeResult::Invalid("volume depth " + std::to_string(image.depth) + " is larger than " +
                                     std::to_string(kMaxVolumeDepth));
    if (image.kind != ImageKind::Volume && image.depth != 1)
        return DecodeResult::Invalid("only a volume has a depth");
    image.faces = image.kind == ImageKind::Cube ? 6 : 1;
    const uint32_t maxLevels =
        FullMipLevels(image.width, image.height, image.kind == ImageKind::Volume ? image.depth : 1);
    if (image.levels == 0 || image.levels > maxLevels)
        return DecodeResult::Invalid(std::to_string(image.levels) + " mip levels for a " +
                                     std::to_string(image.width) + " x " + std::to_string(image.height) +
                                     " image (at most " + std::to_string(maxLevels) + ")");

    const uint64_t total =
        ImageByteSize(image.format, image.kind, image.width, image.height, image.depth, image.levels);
    if (total > limit)
        return DecodeResult::Invalid("truncated: the texels need " + std::to_string(total) +
                                     " bytes, the file holds " + std::to_string(limit));

    image.subresources.clear();
    image.subresources.reserve(size_t(image.faces) * image.levels);
    size_t offset = 0;
    for (uint32_t face = 0; face < image.faces; ++face) {
        for (uint32_t level = 0; level < image.levels; ++level) {
            ImageSubresource sub;
            sub.face = face;
            sub.level = level;
            sub.width = MipExtent(image.width, level);
            sub.height = MipExtent(image.height, level);
            sub.depth = image.kind == ImageKind::Volume ? MipExtent(image.depth, level) : 1;
            sub.rowPitch = RowPitch(image.format, sub.width);
            sub.slicePitch = LevelSize(image.format, sub.width, sub.height);
            sub.size = size_t(sub.slicePitch * sub.depth);
            sub.offset = offset;
            offset += sub.size;
            image.subresources.push_back(sub);
        }
    }
    image.bytes.clear();
    image.bytes.resize(offset);
    return {};
}

} // namespace gfx
