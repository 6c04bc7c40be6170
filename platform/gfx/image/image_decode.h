#pragma once
// Texture files in memory (DDS, TGA, BMP, DIB, PNG, JPEG, HDR, PFM, PPM and its
// grey and black-and-white kin) decoded into the texels of every face
// and mip level, ready to fill a texture. Bad files end in a result that says
// why, never in a crash or an allocation the file cannot justify. A decoder
// writes the texels straight into the image it is given, into the buffer that
// image already has when it is large enough, and never zeroes it first.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace gfx {

enum class ImageKind : uint8_t { Texture2D = 0, Cube = 1, Volume = 2 };

enum class ImageFileType : uint8_t { Unknown, Dds, Tga, Bmp, Dib, Png, Jpg, Hdr, Pfm, Pnm };

enum class DecodeStatus : uint8_t {
    Ok,
    InvalidData,  // not an image file we read, damaged, truncated or of an absurd size
    NoSuchFormat, // a sound file whose texels are of a format the device has not
    OutOfMemory,
};

// Largest side of a 2D or cube texture, and deepest volume, a file may ask for.
inline constexpr uint32_t kMaxImageSide = 16384;
inline constexpr uint32_t kMaxVolumeDepth = 2048;

// One face x level of a decoded image.
struct ImageSubresource {
    uint32_t face = 0;
    uint32_t level = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t rowPitch = 0;   // bytes per row (per row of 4 x 4 blocks for compressed formats)
    uint64_t slicePitch = 0; // bytes per depth slice
    size_t offset = 0;       // into DecodedImage::bytes
    size_t size = 0;         // slicePitch x depth
};

// Makes elements without a value: a vector of them grows without being zeroed.
// Only for buffers whose every byte is written before it is read.
template <class T>
struct UnfilledAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <class U>
    UnfilledAllocator(const UnfilledAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* place) noexcept
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

// Every decoder writes each byte of its image's texels.
using TexelBytes = std::vector<uint8_t, UnfilledAllocator<uint8_t>>;

struct DecodedImage {
    ImageFileType fileType = ImageFileType::Unknown;
    ImageKind kind = ImageKind::Texture2D;
    uint32_t format = 0; // a gfx::Format number; block formats stay compressed
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t levels = 1;
    uint32_t faces = 1; // 6 for a cube
    // Face by face, each face's levels from the largest: the order a DDS file keeps.
    std::vector<ImageSubresource> subresources;
    TexelBytes bytes;

    // Back to an empty image, keeping the room of both vectors for the next decode.
    void Clear();

    const ImageSubresource& Subresource(uint32_t face, uint32_t level) const
    {
        return subresources[size_t(face) * levels + level];
    }
    const uint8_t* Data(uint32_t face, uint32_t level) const { return bytes.data() + Subresource(face, level).offset; }
    uint8_t* Data(uint32_t face, uint32_t level) { return bytes.data() + Subresource(face, level).offset; }
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Ok;
    std::string reason; // empty when Ok

    bool Ok() const { return status == DecodeStatus::Ok; }
    static DecodeResult Invalid(std::string why) { return {DecodeStatus::InvalidData, std::move(why)}; }
    static DecodeResult NoSuchFormat(std::string why) { return {DecodeStatus::NoSuchFormat, std::move(why)}; }
};

// A reader's whole work: `read(data, size, out)` into `out` emptied first
// (its buffers kept), and emptied again when it fails.
template <class Read>
DecodeResult DecodeFresh(Read read, const uint8_t* data, size_t size, DecodedImage& out)
{
    out.Clear();
    DecodeResult result = read(data, size, out);
    if (!result.Ok())
        out.Clear();
    return result;
}

// The kind of file the bytes hold, by their first bytes (TGA and DIB have no
// signature, so a plausible header counts as one).
ImageFileType SniffImageFileType(const void* data, size_t size);

// Decodes a file of any of those types. `out` is replaced (its buffers reused);
// on failure it is left empty.
DecodeResult DecodeImage(const void* data, size_t size, DecodedImage& out);

// Fills `image.subresources` and sizes `image.bytes` (contents unset) from its
// kind, format, sizes, levels and faces. Bytes needed must not pass `limit` (the data a file holds),
// so a header cannot make us allocate more than the file could fill.
DecodeResult LayOutImage(DecodedImage& image, uint64_t limit);

// Bytes all subresources of such an image take; 0 when the description is empty
// or unknown.
uint64_t ImageByteSize(uint32_t format, ImageKind kind, uint32_t width, uint32_t height, uint32_t depth,
                       uint32_t levels);

} // namespace gfx
