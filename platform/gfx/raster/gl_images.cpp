#include "platform/gfx/raster/gl_images.h"

#include <algorithm>
#include <functional>

#include <epoxy/gl.h>

#include "platform/gfx/device/format.h"

namespace gfx::raster {

namespace {

const TextureLayout::Subresource& Sub(const ImageView& image, uint32_t face, uint32_t level)
{
    return image.layout->subresources[static_cast<size_t>(face) * image.layout->levels + level];
}

// Row length and image height in texels for the pixel-store state of a subresource.
void Store(GLenum rowLength, GLenum imageHeight, uint32_t format, const TextureLayout::Subresource& sub)
{
    const uint32_t texel = BytesPerTexel(format);
    glPixelStorei(rowLength, texel ? static_cast<GLint>(sub.rowPitch / texel) : 0);
    glPixelStorei(imageHeight, sub.rowPitch ? static_cast<GLint>(sub.slicePitch / sub.rowPitch) : 0);
}

// The stencil bytes (the low byte of each 32-bit depth-stencil texel) are all 0.
bool StencilBytesZero(const uint8_t* bits, const TextureLayout::Subresource& sub)
{
    for (uint32_t y = 0; y < sub.height; ++y) {
        const uint8_t* row = bits + size_t(y) * sub.rowPitch;
        for (uint32_t x = 0; x < sub.width; ++x)
            if (row[size_t(x) * 4] != 0)
                return false;
    }
    return true;
}

// The sRGB form of an 8-bit colour format, 0 for the others.
GLenum SrgbFormat(uint32_t internal)
{
    switch (internal) {
    case GL_RGBA8: return GL_SRGB8_ALPHA8;
    case GL_RGB8: return GL_SRGB8;
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: return GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT;
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: return GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT;
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT;
    default: return 0;
    }
}

constexpr GLenum kSwizzles[] = {GL_TEXTURE_SWIZZLE_R, GL_TEXTURE_SWIZZLE_G, GL_TEXTURE_SWIZZLE_B,
                                GL_TEXTURE_SWIZZLE_A};

void SetSwizzle(GLuint texture, const GlFormat& format)
{
    for (int c = 0; c < 4; ++c)
        if (format.swizzle[c] != GlFormat().swizzle[c])
            glTextureParameteri(texture, kSwizzles[c], format.swizzle[c]);
}

} // namespace

size_t GlImages::FramebufferKeyHash::operator()(const FramebufferKey& k) const
{
    size_t h = 0;
    for (size_t i = 0; i < k.keys.size(); ++i)
        h = h * 31 + std::hash<const void*>()(k.keys[i]) + k.where[i];
    return h * 2 + (k.srgb ? 1 : 0);
}

GlImages::~GlImages()
{
    for (auto& [key, fbo] : framebuffers_)
        glDeleteFramebuffers(1, &fbo);
    for (auto& [key, mirror] : images_) {
        glDeleteTextures(1, &mirror.srgbView);
        glDeleteTextures(1, &mirror.texture);
    }
    for (auto& [key, mirror] : buffers_)
        glDeleteBuffers(1, &mirror.buffer);
}

GlImages::Mirror* GlImages::Ensure(const ImageView& image)
{
    auto found = images_.find(image.key);
    if (found != images_.end())
        return &found->second;
    const TextureLayout& layout = *image.layout;
    Mirror mirror;
    mirror.format = GlFormatOf(layout.format);
    if (mirror.format.internal == 0 || layout.levels == 0 || layout.subresources.size() < size_t(layout.levels) * layout.faces)
        return nullptr;
    mirror.target = layout.type == kResourceCubeTexture     ? GL_TEXTURE_CUBE_MAP
                    : layout.type == kResourceVolumeTexture ? GL_TEXTURE_3D
                                                            : GL_TEXTURE_2D;
    mirror.width = layout.width;
    mirror.height = layout.height;
    mirror.depth = layout.depth;
    mirror.levels = layout.levels;
    mirror.faces = layout.faces;
    mirror.deviceFormat = layout.format;
    glCreateTextures(mirror.target, 1, &mirror.texture);
    if (mirror.target == GL_TEXTURE_3D)
        glTextureStorage3D(mirror.texture, static_cast<GLsizei>(layout.levels), mirror.format.internal,
                           static_cast<GLsizei>(layout.width), static_cast<GLsizei>(layout.height),
                           static_cast<GLsizei>(layout.depth));
    else
        glTextureStorage2D(mirror.texture, static_cast<GLsizei>(layout.levels), mirror.format.internal,
                           static_cast<GLsizei>(layout.width), static_cast<GLsizei>(layout.height));
    SetSwizzle(mirror.texture, mirror.format);
    glTextureParameteri(mirror.texture, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(layout.levels - 1));
    return &images_.emplace(image.key, mirror).first->second;
}

void GlImages::Upload(Mirror& mirror, const ImageView& image)
{
    const GlFormat& f = mirror.format;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (uint32_t face = 0; face < mirror.faces; ++face) {
        for (uint32_t level = 0; level < mirror.levels; ++level) {
            const TextureLayout::Subresource& sub = Sub(image, face, level);
            const uint8_t* bits = image.bytes + sub.offset;
            if (f.stencil && face == 0 && level == 0)
                mirror.stencilZero = StencilBytesZero(bits, sub);
            const auto w = static_cast<GLsizei>(sub.width), h = static_cast<GLsizei>(sub.height),
                       d = static_cast<GLsizei>(sub.depth);
            const auto l = static_cast<GLint>(level);
            if (f.compressed) {
                const auto size = static_cast<GLsizei>(sub.size);
                if (mirror.target == GL_TEXTURE_2D)
                    glCompressedTextureSubImage2D(mirror.texture, l, 0, 0, w, h, f.internal, size, bits);
                else
                    glCompressedTextureSubImage3D(mirror.texture, l, 0, 0, static_cast<GLint>(face), w, h,
                                                  mirror.target == GL_TEXTURE_3D ? d : 1, f.internal, size, bits);
                continue;
            }
            Store(GL_UNPACK_ROW_LENGTH, GL_UNPACK_IMAGE_HEIGHT, mirror.deviceFormat, sub);
            if (mirror.target == GL_TEXTURE_2D)
                glTextureSubImage2D(mirror.texture, l, 0, 0, w, h, f.format, f.type, bits);
            else
                glTextureSubImage3D(mirror.texture, l, 0, 0, static_cast<GLint>(face), w, h,
                                    mirror.target == GL_TEXTURE_3D ? d : 1, f.format, f.type, bits);
        }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
    mirror.version = image.version;
}

uint32_t GlImages::Texture(const ImageView& image, bool srgb)
{
    if (!image)
        return 0;
    Mirror* mirror = Ensure(image);
    if (!mirror)
        return 0;
    if (mirror->version != image.version)
        Upload(*mirror, image);
    if (srgb)
        if (const uint32_t view = SrgbView(*mirror))
            return view;
    return mirror->texture;
}

uint32_t GlImages::SrgbView(Mirror& mirror)
{
    if (mirror.srgbView)
        return mirror.srgbView;
    const GLenum format = SrgbFormat(mirror.format.internal);
    if (!format)
        return 0;
    // A view shares the texture's storage: what either writes, the other reads.
    glGenTextures(1, &mirror.srgbView);
    const GLuint layers = mirror.target == GL_TEXTURE_CUBE_MAP ? 6 : 1;
    glTextureView(mirror.srgbView, mirror.target, mirror.texture, format, 0, mirror.levels, 0, layers);
    SetSwizzle(mirror.srgbView, mirror.format);
    return mirror.srgbView;
}

uint32_t GlImages::Buffer(const BufferView& buffer)
{
    if (!buffer.key || buffer.size == 0)
        return 0;
    BufferMirror& mirror = buffers_[buffer.key];
    if (mirror.buffer == 0)
        glCreateBuffers(1, &mirror.buffer);
    if (mirror.version != buffer.version || mirror.size != buffer.size) {
        glNamedBufferData(mirror.buffer, buffer.size, buffer.bytes, GL_DYNAMIC_DRAW);
        mirror.version = buffer.version;
        mirror.size = buffer.size;
    }
    return mirror.buffer;
}

uint32_t GlImages::Framebuffer(const std::array<TargetView, kMaxTargets>& targets, const TargetView& depth,
                               bool srgb)
{
    FramebufferKey key;
    key.srgb = srgb;
    for (uint32_t i = 0; i < kMaxTargets; ++i) {
        key.keys[i] = targets[i].image.key;
        key.where[i] = targets[i].face << 16 | targets[i].level;
    }
    key.keys[kMaxTargets] = depth.image.key;
    key.where[kMaxTargets] = depth.face << 16 | depth.level;
    // Attached textures must hold the CPU's latest bytes before the GPU adds to them.
    std::array<uint32_t, kMaxTargets + 1> textures{};
    for (uint32_t i = 0; i < kMaxTargets; ++i)
        textures[i] = Texture(targets[i].image, srgb);
    textures[kMaxTargets] = Texture(depth.image);
    if (auto found = framebuffers_.find(key); found != framebuffers_.end())
        return found->second;
    GLuint fbo = 0;
    glCreateFramebuffers(1, &fbo);
    GLenum draw[kMaxTargets] = {GL_NONE, GL_NONE, GL_NONE, GL_NONE};
    auto attach = [&](GLenum attachment, const TargetView& view, uint32_t texture) {
        const Mirror& mirror = images_.at(view.image.key);
        if (mirror.target == GL_TEXTURE_2D)
            glNamedFramebufferTexture(fbo, attachment, texture, static_cast<GLint>(view.level));
        else
            glNamedFramebufferTextureLayer(fbo, attachment, texture, static_cast<GLint>(view.level),
                                           static_cast<GLint>(view.face));
    };
    for (uint32_t i = 0; i < kMaxTargets; ++i) {
        if (!textures[i])
            continue;
        attach(GL_COLOR_ATTACHMENT0 + i, targets[i], textures[i]);
        draw[i] = GL_COLOR_ATTACHMENT0 + i;
    }
    if (textures[kMaxTargets]) {
        const Mirror& mirror = images_.at(depth.image.key);
        attach(mirror.format.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, depth, textures[kMaxTargets]);
    }
    glNamedFramebufferDrawBuffers(fbo, kMaxTargets, draw);
    if (glCheckNamedFramebufferStatus(fbo, GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glDeleteFramebuffers(1, &fbo);
        return 0;
    }
    framebuffers_.emplace(key, fbo);
    return fbo;
}

bool GlImages::CopyTexels(const TargetView& source, int32_t sx, int32_t sy, const TargetView& destination, int32_t dx,
                          int32_t dy, int32_t width, int32_t height)
{
    if (!source.image || !destination.image || source.image.key == destination.image.key || width <= 0 ||
        height <= 0)
        return false;
    const uint32_t from = Texture(source.image);
    const uint32_t to = Texture(destination.image);
    if (!from || !to)
        return false;
    const Mirror& s = images_.at(source.image.key);
    const Mirror& d = images_.at(destination.image.key);
    auto inside = [](const Mirror& m, uint32_t level, int32_t x, int32_t y, int32_t w, int32_t h) {
        const int64_t levelWidth = std::max<int64_t>(1, int64_t{m.width} >> level);
        const int64_t levelHeight = std::max<int64_t>(1, int64_t{m.height} >> level);
        return level < m.levels && x >= 0 && y >= 0 && x + int64_t{w} <= levelWidth && y + int64_t{h} <= levelHeight;
    };
    if (s.target != GL_TEXTURE_2D || d.target != GL_TEXTURE_2D || s.format.internal != d.format.internal ||
        s.format.compressed || s.format.depth || !inside(s, source.level, sx, sy, width, height) ||
        !inside(d, destination.level, dx, dy, width, height))
        return false;
    glCopyImageSubData(from, GL_TEXTURE_2D, GLint(source.level), sx, sy, 0, to, GL_TEXTURE_2D,
                       GLint(destination.level), dx, dy, 0, width, height, 1);
    MarkDrawn(destination.image);
    return true;
}

void GlImages::MarkDrawn(const ImageView& image)
{
    if (auto found = images_.find(image.key); found != images_.end())
        found->second.gpuNewer = true;
}

void GlImages::MarkDrawn(const std::array<TargetView, kMaxTargets>& targets, const TargetView& depth)
{
    for (const TargetView& t : targets)
        MarkDrawn(t.image);
    MarkDrawn(depth.image);
}

void GlImages::ReadBack(const ImageView& image)
{
    auto found = images_.find(image.key);
    if (found == images_.end() || !found->second.gpuNewer)
        return;
    Mirror& mirror = found->second;
    const GlFormat& f = mirror.format;
    mirror.gpuNewer = false;
    if (f.compressed)
        return;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (uint32_t face = 0; face < mirror.faces; ++face) {
        for (uint32_t level = 0; level < mirror.levels; ++level) {
            const TextureLayout::Subresource& sub = Sub(image, face, level);
            Store(GL_PACK_ROW_LENGTH, GL_PACK_IMAGE_HEIGHT, mirror.deviceFormat, sub);
            const bool volume = mirror.target == GL_TEXTURE_3D;
            glGetTextureSubImage(mirror.texture, static_cast<GLint>(level), 0, 0, volume ? 0 : static_cast<GLint>(face),
                                 static_cast<GLsizei>(sub.width), static_cast<GLsizei>(sub.height),
                                 volume ? static_cast<GLsizei>(sub.depth) : 1, f.format, f.type,
                                 static_cast<GLsizei>(sub.size), image.bytes + sub.offset);
        }
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_IMAGE_HEIGHT, 0);
}

bool GlImages::StencilAllZero(const void* key) const
{
    auto found = images_.find(key);
    return found != images_.end() && found->second.format.stencil && found->second.stencilZero;
}

void GlImages::StencilWritten(const void* key, std::optional<uint32_t> value)
{
    if (auto found = images_.find(key); found != images_.end())
        found->second.stencilZero = value && (*value & 0xFF) == 0;
}

void GlImages::Forget(const void* key)
{
    for (auto it = framebuffers_.begin(); it != framebuffers_.end();) {
        if (std::find(it->first.keys.begin(), it->first.keys.end(), key) != it->first.keys.end()) {
            glDeleteFramebuffers(1, &it->second);
            it = framebuffers_.erase(it);
        } else {
            ++it;
        }
    }
    if (auto found = images_.find(key); found != images_.end()) {
        glDeleteTextures(1, &found->second.srgbView);
        glDeleteTextures(1, &found->second.texture);
        images_.erase(found);
    }
    if (auto found = buffers_.find(key); found != buffers_.end()) {
        glDeleteBuffers(1, &found->second.buffer);
        buffers_.erase(found);
    }
}

} // namespace gfx::raster
