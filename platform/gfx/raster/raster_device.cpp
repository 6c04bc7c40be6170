#include "platform/gfx/raster/raster_device.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include <epoxy/gl.h>

#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/pass_program.h"
#include "platform/gfx/fx/hlsl/shader_semantics.h"
#include "platform/gfx/raster/fog_constants.h"

namespace gfx::raster {

namespace {

GLenum Mode(uint32_t type)
{
    switch (type) {
    case kPrimitivePointList: return GL_POINTS;
    case kPrimitiveLineList: return GL_LINES;
    case kPrimitiveLineStrip: return GL_LINE_STRIP;
    case kPrimitiveTriangleStrip: return GL_TRIANGLE_STRIP;
    case kPrimitiveTriangleFan: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

struct AttributeFormat {
    GLint size = 0;
    GLenum type = GL_FLOAT;
    bool normalized = false;
};

AttributeFormat FormatOf(uint8_t type)
{
    switch (type) {
    case kDeclFloat1: return {1, GL_FLOAT, false};
    case kDeclFloat2: return {2, GL_FLOAT, false};
    case kDeclFloat3: return {3, GL_FLOAT, false};
    case kDeclFloat4: return {4, GL_FLOAT, false};
    case kDeclColor: return {GL_BGRA, GL_UNSIGNED_BYTE, true};
    case kDeclUByte4: return {4, GL_UNSIGNED_BYTE, false};
    case kDeclShort2: return {2, GL_SHORT, false};
    case kDeclShort4: return {4, GL_SHORT, false};
    case kDeclUByte4N: return {4, GL_UNSIGNED_BYTE, true};
    case kDeclShort2N: return {2, GL_SHORT, true};
    case kDeclShort4N: return {4, GL_SHORT, true};
    case kDeclUShort2N: return {2, GL_UNSIGNED_SHORT, true};
    case kDeclUShort4N: return {4, GL_UNSIGNED_SHORT, true};
    case kDeclUDec3: return {4, GL_UNSIGNED_INT_2_10_10_10_REV, false};
    case kDeclDec3N: return {4, GL_INT_2_10_10_10_REV, true};
    case kDeclFloat16x2: return {2, GL_HALF_FLOAT, false};
    case kDeclFloat16x4: return {4, GL_HALF_FLOAT, false};
    default: return {};
    }
}

bool SameElements(const std::vector<VertexElement>& a, const std::vector<VertexElement>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(VertexElement)) == 0);
}

// The rectangle covers the whole of the target's level.
bool Covers(const Rect& area, const TargetView& target)
{
    const auto width = static_cast<int32_t>(std::max(1u, target.image.layout->width >> target.level));
    const auto height = static_cast<int32_t>(std::max(1u, target.image.layout->height >> target.level));
    return area.left <= 0 && area.top <= 0 && area.right >= width && area.bottom >= height;
}

uint32_t DepthBits(const TargetView& depth)
{
    if (!depth.image)
        return 24;
    const uint32_t format = depth.image.layout->format;
    return format == kFormatD16 ? 16 : format == kFormatD32 ? 32 : 24;
}

// "pass 'P0' of technique 'T' of effect 'blur.fx'", as the lines about a pass name it.
std::string PassNamed(const EffectBinding& b)
{
    return "pass " + (b.passName.empty() ? std::to_string(b.pass) : "'" + b.passName + "'") + " of technique '" +
           b.technique + "' of effect '" + b.effect + "'";
}

} // namespace

std::unique_ptr<RasterDevice> RasterDevice::Create(const std::string& capturePath, std::string& why,
                                                   const GlWindow* window)
{
    std::unique_ptr<GlContext> context = window ? GlContext::CreateOnWindow(*window, why) : GlContext::Create(why);
    if (!context)
        return nullptr;
    std::unique_ptr<RasterDevice> device(new RasterDevice());
    device->context_ = std::move(context);
    // Direct3D 9's frame: row 0 on top (every vertex stage negates y, see
    // GlPrograms), depth 0..1, clockwise fronts (on screen, y down).
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glFrontFace(GL_CCW);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    glCreateVertexArrays(1, &device->vertexArray_);
    glBindVertexArray(device->vertexArray_);
    glCreateBuffers(1, &device->drawBlock_);
    glNamedBufferData(device->drawBlock_, 32, nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, kDrawBlockBinding, device->drawBlock_);
    glCreateBuffers(1, &device->fogBlock_);
    glNamedBufferData(device->fogBlock_, sizeof(FogConstants), nullptr, GL_DYNAMIC_DRAW);
    if (!capturePath.empty())
        device->capture_.emplace(capturePath);
    device->context_->Release(); // the drawing thread takes it
    return device;
}

bool RasterDevice::Enter()
{
    if (!context_->Acquire()) {
        if (!toldUnavailable_)
            std::cout << "Graphics: the drawing context is held by another thread; a call is not drawn.\n";
        toldUnavailable_ = true;
        return false;
    }
    std::vector<const void*> forgotten;
    {
        std::lock_guard lock(shared_);
        forgotten.swap(forgotten_);
    }
    for (const void* key : forgotten)
        images_.Forget(key);
    return true;
}

void RasterDevice::Drawn(const void* key)
{
    if (!key)
        return;
    std::lock_guard lock(shared_);
    newer_.insert(key);
}

bool RasterDevice::GpuNewer(const void* key) const
{
    std::lock_guard lock(shared_);
    return newer_.count(key) > 0;
}

RasterDevice::~RasterDevice()
{
    Enter();
    if (presentPending_)
        WriteCapture();
    glDeleteFramebuffers(1, &presentedFramebuffer_);
    glDeleteTextures(1, &presented_);
    glDeleteBuffers(1, &drawBlock_);
    glDeleteBuffers(1, &fogBlock_);
    glDeleteVertexArrays(1, &vertexArray_);
}

void RasterDevice::BindFramebuffer(uint32_t fbo)
{
    if (fbo != boundFramebuffer_) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
        boundFramebuffer_ = fbo;
    }
}

void RasterDevice::SetVertexInput(const DrawView& draw)
{
    const PassProgram& program = *draw.program;
    uint32_t wanted = 0;
    const bool same = lastInputs_ == draw.program && draw.elements && SameElements(*draw.elements, lastElements_);
    std::array<int, kVertexAttributeSlots> streamOf;
    streamOf.fill(-1);
    if (draw.elements) {
        for (const VertexElement& e : *draw.elements) {
            // An element binds where the vertex stage reads its usage and index.
            const int location = AttributeLocation(program, e.usage, e.usageIndex);
            if (location < 0 || e.stream >= kMaxStreamViews)
                continue;
            const AttributeFormat format = FormatOf(e.type);
            if (format.size == 0)
                continue;
            streamOf[size_t(location)] = e.stream;
            if (!draw.streams[e.stream].buffer.key)
                continue; // read from no buffer: the attribute's constant value
            wanted |= 1u << location;
            if (!same) {
                glVertexArrayAttribFormat(vertexArray_, GLuint(location), format.size, format.type,
                                          format.normalized ? GL_TRUE : GL_FALSE, e.offset);
                glVertexArrayAttribBinding(vertexArray_, GLuint(location), e.stream);
            }
        }
    }
    for (uint32_t location = 0; location < kVertexAttributeSlots; ++location) {
        const uint32_t bit = 1u << location;
        if ((wanted & bit) && !(enabledAttributes_ & bit))
            glEnableVertexArrayAttrib(vertexArray_, location);
        if (!(wanted & bit) && (enabledAttributes_ & bit))
            glDisableVertexArrayAttrib(vertexArray_, location);
    }
    enabledAttributes_ = wanted;
    lastInputs_ = draw.program;
    if (draw.elements && !same)
        lastElements_ = *draw.elements;
    const bool instanced = (draw.streams[0].frequency & kStreamIndexedData) != 0;
    uint32_t streams = 0;
    for (uint32_t location = 0; location < kVertexAttributeSlots; ++location)
        if ((wanted >> location) & 1)
            streams |= 1u << streamOf[location];
    for (uint32_t s = 0; s < kMaxStreamViews; ++s) {
        if (!((streams >> s) & 1))
            continue;
        const StreamView& stream = draw.streams[s];
        glVertexArrayVertexBuffer(vertexArray_, s, images_.Buffer(stream.buffer), stream.offset,
                                  static_cast<GLsizei>(stream.stride));
        glVertexArrayBindingDivisor(vertexArray_, s,
                                    instanced && (stream.frequency & kStreamInstanceData) != 0 ? 1 : 0);
    }
}

bool RasterDevice::Draw(const DrawView& draw)
{
    if (!Enter()) {
        ++skipped_;
        return true;
    }
    // A pass that sets no shader asks for fixed-function drawing, which is
    // not drawn here: said once a pass.
    if (draw.binding && (!draw.program || draw.program->Empty())) {
        const EffectBinding& b = *draw.binding;
        if (toldWithoutShaders_.insert(b.effect + '\n' + b.technique + '\n' + std::to_string(b.pass)).second)
            std::cout << "Graphics: " << PassNamed(b)
                      << " is not drawn: a pass without shaders (fixed-function drawing) is not drawn here"
                      << std::endl;
        ++skipped_;
        return false;
    }
    if (!draw.program || !draw.binding || draw.viewport.width == 0 || draw.viewport.height == 0) {
        ++skipped_;
        return true;
    }
    const bool hasDepth = static_cast<bool>(draw.depth.image);
    const bool hasStencil = hasDepth && GlFormatOf(draw.depth.image.layout->format).stencil;
    const PipelineState state = PipelineFromStates(draw.renderStates, hasDepth, hasStencil);
    bool fogged = false;
    std::string unlinked;
    const GLuint program = programs_.Program(*draw.program, state.alphaTest, fogged, &unlinked);
    if (!program) {
        const EffectBinding& b = *draw.binding;
        if (!unlinked.empty())
            std::cout << "Graphics: " << PassNamed(b) << " does not link and is not drawn"
                      << (b.sharers == 0   ? ""
                          : b.sharers == 1 ? ", nor is the other pass that shares its program"
                                           : ", nor are the " + std::to_string(b.sharers) +
                                                 " other passes that share its program")
                      << ": " << unlinked << std::endl;
        ++skipped_;
        return false;
    }
    const GLuint fbo = images_.Framebuffer(draw.targets, draw.depth, state.srgbWrite);
    if (!fbo) {
        ++skipped_;
        return true;
    }
    BindFramebuffer(fbo);
    const Viewport& v = draw.viewport;
    glViewportIndexedf(0, float(v.x), float(v.y), float(v.width), float(v.height));
    glDepthRangeIndexed(0, v.minZ, v.maxZ);
    ApplyPipeline(state, pipeline_, pipelineKnown_, DepthBits(draw.depth));
    if (state.stencil && (state.stencilWriteMask & 0xFF) != 0)
        images_.StencilWritten(draw.depth.image.key, std::nullopt);
    glUseProgram(program);
    programs_.BindParameters(*draw.program, state.alphaTest, *draw.binding);
    // The half-pixel move of every position, and the alpha test.
    const float block[8] = {1.0f / float(v.width), -1.0f / float(v.height), 0, 0,
                            state.alphaTest ? 1.0f : 0.0f, float(state.alphaRef), float(state.alphaFunc), 0};
    glNamedBufferSubData(drawBlock_, 0, sizeof block, block);
    glBindBufferBase(GL_UNIFORM_BUFFER, kDrawBlockBinding, drawBlock_);
    if (fogged) {
        const FogConstants fog = FogConstantsOf(draw.renderStates, *draw.states);
        glNamedBufferSubData(fogBlock_, 0, sizeof fog, fog.data());
        glBindBufferBase(GL_UNIFORM_BUFFER, kFogBlockBinding, fogBlock_);
    }
    for (const SamplerSlot& slot : draw.program->samplers)
        for (uint32_t unit = slot.unit; unit - slot.unit < slot.units && unit < kMaxTextureUnits && unit < kMaxSamplers;
             ++unit) {
            const auto& sampler = draw.states->samplers[unit];
            glBindTextureUnit(unit, images_.Texture(draw.textures[unit], sampler[kSampSrgbTexture] != 0));
            glBindSampler(unit, programs_.Sampler(SamplerSettingsOf(sampler)));
        }
    SetVertexInput(draw);
    glVertexArrayElementBuffer(vertexArray_, images_.Buffer(draw.indices));
    const uint64_t count = IndicesForPrimitives(draw.primitiveType, draw.primitiveCount);
    const uintptr_t first = uintptr_t{draw.startIndex} * draw.indexSize;
    glDrawElementsInstancedBaseVertex(Mode(draw.primitiveType), static_cast<GLsizei>(count),
                                      draw.indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                      reinterpret_cast<const void*>(first), static_cast<GLsizei>(draw.instances),
                                      draw.baseVertexIndex);
    images_.MarkDrawn(draw.targets, draw.depth);
    for (const TargetView& target : draw.targets)
        Drawn(target.image.key);
    Drawn(draw.depth.image.key);
    return true;
}

void RasterDevice::Clear(const ClearView& clear)
{
    if (!Enter())
        return;
    const GLuint fbo = images_.Framebuffer(clear.targets, clear.depth);
    if (!fbo)
        return;
    BindFramebuffer(fbo);
    // A clear writes every channel, unencoded, whatever the draw states say.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFFFFFFFFu);
    pipelineKnown_ = false;
    glEnable(GL_SCISSOR_TEST);
    const float rgba[4] = {((clear.argb >> 16) & 0xFF) / 255.0f, ((clear.argb >> 8) & 0xFF) / 255.0f,
                           (clear.argb & 0xFF) / 255.0f, ((clear.argb >> 24) & 0xFF) / 255.0f};
    const bool stencil = clear.clearStencil && clear.depth.image && GlFormatOf(clear.depth.image.layout->format).stencil;
    // A stencil of zeros stays zeros when cleared with the depth, and the
    // depth and stencil cleared together are a plain fill.
    const bool withZeroStencil = clear.clearDepth && !stencil && images_.StencilAllZero(clear.depth.image.key);
    for (const Rect& area : clear.areas) {
        if (area.right <= area.left || area.bottom <= area.top)
            continue;
        glScissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
        if (clear.colour)
            for (GLint i = 0; i < GLint(kMaxTargets); ++i)
                if (clear.targets[size_t(i)].image)
                    glClearNamedFramebufferfv(fbo, GL_COLOR, i, rgba);
        if (clear.clearDepth && (stencil || withZeroStencil)) {
            glClearNamedFramebufferfi(fbo, GL_DEPTH_STENCIL, 0, clear.z, stencil ? static_cast<GLint>(clear.stencil) : 0);
        } else if (clear.clearDepth) {
            glClearNamedFramebufferfv(fbo, GL_DEPTH, 0, &clear.z);
        } else if (stencil) {
            const GLint value = static_cast<GLint>(clear.stencil);
            glClearNamedFramebufferiv(fbo, GL_STENCIL, 0, &value);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    if (stencil) {
        // Zeros over all of it, or over part of a stencil of zeros, leave zeros.
        const bool all = clear.areas.size() == 1 && Covers(clear.areas[0], clear.depth);
        const bool zero = (clear.stencil & 0xFF) == 0 && (all || images_.StencilAllZero(clear.depth.image.key));
        images_.StencilWritten(clear.depth.image.key, zero ? std::optional<uint32_t>(0) : std::nullopt);
    }
    std::array<TargetView, kMaxTargets> drawn{};
    if (clear.colour)
        drawn = clear.targets;
    const TargetView depth = clear.clearDepth || stencil ? clear.depth : TargetView{};
    images_.MarkDrawn(drawn, depth);
    for (const TargetView& target : drawn)
        Drawn(target.image.key);
    Drawn(depth.image.key);
}

void RasterDevice::Stretch(const TargetView& source, const Rect& from, const TargetView& destination, const Rect& to,
                           bool linear)
{
    if (!Enter())
        return;
    // A same-size, unfiltered stretch moves texels unchanged: copied as they
    // are, it draws nothing (a CPU rasterizer would run a shader per texel).
    const int32_t width = from.right - from.left;
    const int32_t height = from.bottom - from.top;
    if (!linear && to.right - to.left == width && to.bottom - to.top == height &&
        images_.CopyTexels(source, from.left, from.top, destination, to.left, to.top, width, height)) {
        Drawn(destination.image.key);
        return;
    }
    const GLuint read = images_.Framebuffer({source}, {});
    const GLuint write = images_.Framebuffer({destination}, {});
    if (!read || !write)
        return;
    glNamedFramebufferReadBuffer(read, GL_COLOR_ATTACHMENT0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    pipelineKnown_ = false;
    glBlitNamedFramebuffer(read, write, from.left, from.top, from.right, from.bottom, to.left, to.top, to.right,
                           to.bottom, GL_COLOR_BUFFER_BIT, linear ? GL_LINEAR : GL_NEAREST);
    images_.MarkDrawn(destination.image);
    Drawn(destination.image.key);
}

void RasterDevice::Present(const ImageView& backBuffer)
{
    const bool onWindow = context_->OnWindow();
    if ((!capture_ && !onWindow) || !backBuffer) {
        context_->Release(); // between frames other threads may have it
        return;
    }
    if (!Enter())
        return;
    const uint32_t width = backBuffer.layout->width, height = backBuffer.layout->height;
    // The frame is kept on the GPU; reading it back waits until a picture is due.
    const GLuint read = images_.Framebuffer({TargetView{backBuffer, 0, 0}}, {});
    if (!read) {
        context_->Release();
        return;
    }
    glNamedFramebufferReadBuffer(read, GL_COLOR_ATTACHMENT0);
    // Copies write every channel of every pixel, unencoded, whatever the draw states say.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_FRAMEBUFFER_SRGB);
    pipelineKnown_ = false;
    if (capture_)
        KeepForCapture(read, width, height);
    int windowWidth = 0, windowHeight = 0;
    if (onWindow && context_->WindowSize(windowWidth, windowHeight)) {
        // Row 0 of the back buffer is its top row; the window's is its bottom one.
        const bool sameSize = windowWidth == int(width) && windowHeight == int(height);
        glBlitNamedFramebuffer(read, 0, 0, 0, GLint(width), GLint(height), 0, windowHeight, windowWidth, 0,
                               GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
        context_->Swap();
    }
    context_->Release();
}

void RasterDevice::KeepForCapture(uint32_t read, uint32_t width, uint32_t height)
{
    if (!presented_ || width != presentedWidth_ || height != presentedHeight_) {
        glDeleteFramebuffers(1, &presentedFramebuffer_);
        glDeleteTextures(1, &presented_);
        glCreateTextures(GL_TEXTURE_2D, 1, &presented_);
        glTextureStorage2D(presented_, 1, GL_RGBA8, GLsizei(width), GLsizei(height));
        glCreateFramebuffers(1, &presentedFramebuffer_);
        glNamedFramebufferTexture(presentedFramebuffer_, GL_COLOR_ATTACHMENT0, presented_, 0);
        presentedWidth_ = width;
        presentedHeight_ = height;
    }
    glBlitNamedFramebuffer(read, presentedFramebuffer_, 0, 0, GLint(width), GLint(height), 0, 0, GLint(width),
                           GLint(height), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    presentPending_ = true;
    if (capture_->Due(std::chrono::steady_clock::now()))
        WriteCapture();
}

void RasterDevice::WriteCapture()
{
    presentPending_ = false;
    ++readBacks_;
    std::vector<uint8_t> bgra(size_t(presentedWidth_) * presentedHeight_ * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTextureImage(presented_, 0, GL_BGRA, GL_UNSIGNED_BYTE, GLsizei(bgra.size()), bgra.data());
    capture_->Written(std::chrono::steady_clock::now());
    std::string why;
    if (!WritePng(capture_->Path(), bgra.data(), presentedWidth_, presentedHeight_, presentedWidth_ * 4, why) &&
        !captureFailed_) {
        captureFailed_ = true;
        std::cout << "Graphics: cannot write the frame picture '" << capture_->Path() << "': " << why << ".\n";
    }
}

void RasterDevice::GenerateMips(const ImageView& image)
{
    if (!image || image.layout->levels < 2 || GlFormatOf(image.layout->format).compressed || !Enter())
        return;
    const GLuint texture = images_.Texture(image);
    if (!texture)
        return;
    glGenerateTextureMipmap(texture);
    images_.MarkDrawn(image);
    Drawn(image.key);
}

void RasterDevice::ReadBack(const ImageView& image)
{
    if (!Enter())
        return;
    images_.ReadBack(image);
    ++readBacks_;
    std::lock_guard lock(shared_);
    newer_.erase(image.key);
}

void RasterDevice::Forget(const void* key)
{
    {
        std::lock_guard lock(shared_);
        newer_.erase(key);
        if (!context_->HeldHere()) {
            forgotten_.push_back(key);
            return;
        }
    }
    images_.Forget(key);
}

} // namespace gfx::raster
