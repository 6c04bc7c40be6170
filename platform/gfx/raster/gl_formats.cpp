#include "platform/gfx/raster/gl_formats.h"

#include <epoxy/gl.h>

#include "platform/gfx/device/format.h"

namespace gfx::raster {

namespace {

GlFormat Plain(uint32_t internal, uint32_t format, uint32_t type)
{
    GlFormat f;
    f.internal = internal;
    f.format = format;
    f.type = type;
    return f;
}

GlFormat Swizzled(GlFormat f, int32_t r, int32_t g, int32_t b, int32_t a)
{
    f.swizzle[0] = r;
    f.swizzle[1] = g;
    f.swizzle[2] = b;
    f.swizzle[3] = a;
    return f;
}

GlFormat Compressed(uint32_t internal)
{
    GlFormat f;
    f.internal = internal;
    f.compressed = true;
    return f;
}

GlFormat Depth(uint32_t internal, uint32_t format, uint32_t type, bool stencil)
{
    GlFormat f = Plain(internal, format, type);
    f.depth = true;
    f.stencil = stencil;
    return f;
}

} // namespace

GlFormat GlFormatOf(uint32_t format)
{
    switch (format) {
    case kFormatA8R8G8B8: return Plain(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV);
    case kFormatX8R8G8B8: return Swizzled(Plain(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV), GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
    case kFormatA8B8G8R8: return Plain(GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV);
    case kFormatX8B8G8R8: return Swizzled(Plain(GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV), GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
    case kFormatR8G8B8: return Plain(GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE);
    case kFormatR5G6B5: return Plain(GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5);
    case kFormatA1R5G5B5: return Plain(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV);
    case kFormatX1R5G5B5:
        return Swizzled(Plain(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV), GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
    case kFormatA4R4G4B4: return Plain(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV);
    case kFormatA2R10G10B10: return Plain(GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV);
    case kFormatA2B10G10R10: return Plain(GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV);
    case kFormatG16R16: return Swizzled(Plain(GL_RG16, GL_RG, GL_UNSIGNED_SHORT), GL_RED, GL_GREEN, GL_ONE, GL_ONE);
    case kFormatA16B16G16R16: return Plain(GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT);
    case kFormatA8: return Swizzled(Plain(GL_R8, GL_RED, GL_UNSIGNED_BYTE), GL_ZERO, GL_ZERO, GL_ZERO, GL_RED);
    case kFormatL8: return Swizzled(Plain(GL_R8, GL_RED, GL_UNSIGNED_BYTE), GL_RED, GL_RED, GL_RED, GL_ONE);
    case kFormatA8L8: return Swizzled(Plain(GL_RG8, GL_RG, GL_UNSIGNED_BYTE), GL_RED, GL_RED, GL_RED, GL_GREEN);
    case kFormatL16: return Swizzled(Plain(GL_R16, GL_RED, GL_UNSIGNED_SHORT), GL_RED, GL_RED, GL_RED, GL_ONE);
    case kFormatR16F: return Swizzled(Plain(GL_R16F, GL_RED, GL_HALF_FLOAT), GL_RED, GL_ONE, GL_ONE, GL_ONE);
    case kFormatG16R16F: return Swizzled(Plain(GL_RG16F, GL_RG, GL_HALF_FLOAT), GL_RED, GL_GREEN, GL_ONE, GL_ONE);
    case kFormatA16B16G16R16F: return Plain(GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT);
    case kFormatR32F: return Swizzled(Plain(GL_R32F, GL_RED, GL_FLOAT), GL_RED, GL_ONE, GL_ONE, GL_ONE);
    case kFormatG32R32F: return Swizzled(Plain(GL_RG32F, GL_RG, GL_FLOAT), GL_RED, GL_GREEN, GL_ONE, GL_ONE);
    case kFormatA32B32G32R32F: return Plain(GL_RGBA32F, GL_RGBA, GL_FLOAT);
    case kFormatDXT1: return Compressed(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
    case kFormatDXT2: case kFormatDXT3: return Compressed(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT);
    case kFormatDXT4: case kFormatDXT5: return Compressed(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
    case kFormatD16: return Depth(GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, false);
    case kFormatD32: return Depth(GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, false);
    case kFormatD24X8: case kFormatD24S8: case kFormatD24X4S4:
        return Depth(GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, true);
    default: return GlFormat{};
    }
}

} // namespace gfx::raster
