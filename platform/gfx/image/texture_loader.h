#pragma once
// Textures made from image files in memory (every kind image_decode.h reads):
// the file is decoded, sized, given its mip levels and written into a new
// texture of the asked-for pool. A file that makes no texture is named in one
// line on standard output with the reason, and gives kInvalidData (junk,
// damage), kNotAvailable (texels of a format the device has not) or
// kOutOfMemory, and no texture; a device failure gives the device's result.
//
// Sizes: kImageDefault (or 0) takes the file's size rounded up to a power of
// two, kImageDefaultNonPow2 the file's exact size, any other number that size;
// each side is then cut to the device's largest (a power of two stays one),
// before any level is made; a block format's side of four texels or more
// grows to whole blocks.
// Levels: kImageDefault (or 0) makes the full chain, kImageFromFile the levels
// the file holds, any other number at most that many. Levels the file lacks
// are made from the level above with the mip filter, and a size other than the
// file's from its top level with the filter: a box over the area each texel
// covers by default (and for the box and triangle filters), two taps a side
// for the linear filter, the nearest texel for none or point; in width, height
// and depth alike, in every channel layout. A file's level is taken as it is
// whenever its size is the one wanted. The levels are written straight into
// the texture (for the default pool, into its system-memory copy, and the
// decoded image goes before the card's copy is written): a load holds the
// decoded image once beside what it is made into.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/result.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/image/image_decode.h"

namespace gfx {

inline constexpr uint32_t kImageDefault = 0xFFFFFFFFu;
inline constexpr uint32_t kImageDefaultNonPow2 = 0xFFFFFFFEu;
inline constexpr uint32_t kImageFromFile = 0xFFFFFFFDu;

// Filters for sizing and for making mip levels; the numbers are the ones
// callers store.
enum ImageFilter : uint32_t {
    kImageFilterNone = 1,     // nearest texel, no blending
    kImageFilterPoint = 2,
    kImageFilterLinear = 3,
    kImageFilterTriangle = 4,
    kImageFilterBox = 5,
    kImageFilterDefault = kImageDefault, // the box, for sizing and for mip levels
};

struct TextureFileParams {
    uint32_t width = kImageDefault;  // a cube's edge
    uint32_t height = kImageDefault;
    uint32_t depth = kImageDefault;  // volumes only
    uint32_t levels = kImageDefault;
    uint32_t usage = 0;
    uint32_t format = kFormatUnknown; // kFormatUnknown or kFormatFromFile: the file's own
    uint32_t pool = kPoolDefault;
    uint32_t filter = kImageFilterDefault;
    uint32_t mipFilter = kImageFilterDefault;
};

// What the file held (when the caller asks for it).
struct ImageFileInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t levels = 1;
    uint32_t format = 0;
    ImageKind kind = ImageKind::Texture2D;
    ImageFileType fileType = ImageFileType::Unknown;
};

// A 2D texture; a cube file gives its first face. Volumes are refused.
Result CreateTextureFromFileInMemory(Device* device, const void* data, size_t size, const TextureFileParams& params,
                                     Texture** texture, ImageFileInfo* info = nullptr);
// A cube texture from a cube file (other files are refused).
Result CreateCubeTextureFromFileInMemory(Device* device, const void* data, size_t size,
                                         const TextureFileParams& params, CubeTexture** texture,
                                         ImageFileInfo* info = nullptr);
// A volume texture from a volume file, or from a 2D file as one slice.
Result CreateVolumeTextureFromFileInMemory(Device* device, const void* data, size_t size,
                                           const TextureFileParams& params, VolumeTexture** texture,
                                           ImageFileInfo* info = nullptr);

// Block-compressed images to and from A8R8G8B8 texels (rows of width x 4
// bytes), for sizing and making levels of DXT files. The encoder fits each
// block's end points along its colours' principal axis.
void DecodeBlocks(uint32_t format, const uint8_t* blocks, uint32_t width, uint32_t height, uint8_t* texels);
void EncodeBlocks(uint32_t format, const uint8_t* texels, uint32_t width, uint32_t height, uint8_t* blocks);

} // namespace gfx
