#include "platform/gfx/raster/gl_pipeline_state.h"

#include <bit>

#include <epoxy/gl.h>

#include "platform/gfx/device/render_state.h"

namespace gfx::raster {

namespace {

uint32_t Compare(uint32_t func)
{
    switch (func) {
    case kCompareNever: return GL_NEVER;
    case kCompareLess: return GL_LESS;
    case kCompareEqual: return GL_EQUAL;
    case kCompareLessEqual: return GL_LEQUAL;
    case kCompareGreater: return GL_GREATER;
    case kCompareNotEqual: return GL_NOTEQUAL;
    case kCompareGreaterEqual: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

uint32_t BlendFactor(uint32_t factor)
{
    switch (factor) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: case 12: return GL_SRC_ALPHA;
    case 6: case 13: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    case 11: return GL_SRC_ALPHA_SATURATE;
    case 14: return GL_CONSTANT_COLOR;
    case 15: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

uint32_t BlendOp(uint32_t op)
{
    switch (op) {
    case 2: return GL_FUNC_SUBTRACT;
    case 3: return GL_FUNC_REVERSE_SUBTRACT;
    case 4: return GL_MIN;
    case 5: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

uint32_t StencilOp(uint32_t op)
{
    switch (op) {
    case 2: return GL_ZERO;
    case 3: return GL_REPLACE;
    case 4: return GL_INCR;
    case 5: return GL_DECR;
    case 6: return GL_INVERT;
    case 7: return GL_INCR_WRAP;
    case 8: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

void Enable(GLenum capability, bool on)
{
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

} // namespace

PipelineState PipelineFromStates(const uint32_t* s, bool hasDepth, bool hasStencil)
{
    PipelineState p;
    p.depthTest = hasDepth && s[kRsZEnable] != kZBufferFalse;
    p.depthWrite = hasDepth && s[kRsZWriteEnable] != 0;
    p.depthFunc = Compare(s[kRsZFunc]);
    // Front faces wind clockwise on screen; the cull mode names the winding that goes.
    p.cullFace = s[kRsCullMode] == kCullClockwise ? GL_FRONT : s[kRsCullMode] == kCullCounterClockwise ? GL_BACK : 0;
    p.polygonMode = s[kRsFillMode] == 1 ? GL_POINT : s[kRsFillMode] == 2 ? GL_LINE : GL_FILL;
    p.blend = s[kRsAlphaBlendEnable] != 0;
    p.srcColour = BlendFactor(s[kRsSrcBlend]);
    p.dstColour = BlendFactor(s[kRsDestBlend]);
    if (s[kRsSrcBlend] == 12) // both source alpha: the destination follows
        p.dstColour = GL_ONE_MINUS_SRC_ALPHA;
    if (s[kRsSrcBlend] == 13)
        p.dstColour = GL_SRC_ALPHA;
    p.colourOp = BlendOp(s[kRsBlendOp]);
    const bool separate = s[kRsSeparateAlphaBlendEnable] != 0;
    p.srcAlpha = separate ? BlendFactor(s[kRsSrcBlendAlpha]) : p.srcColour;
    p.dstAlpha = separate ? BlendFactor(s[kRsDestBlendAlpha]) : p.dstColour;
    p.alphaOp = separate ? BlendOp(s[kRsBlendOpAlpha]) : p.colourOp;
    const uint32_t factor = s[kRsBlendFactor];
    p.blendColour = {((factor >> 16) & 0xFF) / 255.0f, ((factor >> 8) & 0xFF) / 255.0f, (factor & 0xFF) / 255.0f,
                     ((factor >> 24) & 0xFF) / 255.0f};
    p.writeMask = {s[kRsColorWriteEnable] & 0xF, s[kRsColorWriteEnable1] & 0xF, s[kRsColorWriteEnable2] & 0xF,
                   s[kRsColorWriteEnable3] & 0xF};
    p.stencil = hasStencil && s[kRsStencilEnable] != 0;
    p.front = {Compare(s[kRsStencilFunc]), StencilOp(s[kRsStencilFail]), StencilOp(s[kRsStencilZFail]),
               StencilOp(s[kRsStencilPass])};
    p.back = s[kRsTwoSidedStencilMode] != 0
                 ? StencilFace{Compare(s[kRsCcwStencilFunc]), StencilOp(s[kRsCcwStencilFail]),
                               StencilOp(s[kRsCcwStencilZFail]), StencilOp(s[kRsCcwStencilPass])}
                 : p.front;
    p.stencilRef = s[kRsStencilRef];
    p.stencilMask = s[kRsStencilMask];
    p.stencilWriteMask = s[kRsStencilWriteMask];
    p.depthBias = std::bit_cast<float>(s[kRsDepthBias]);
    p.depthBiasSlope = std::bit_cast<float>(s[kRsSlopeScaleDepthBias]);
    p.alphaTest = s[kRsAlphaTestEnable] != 0;
    p.alphaRef = s[kRsAlphaRef] & 0xFF;
    p.alphaFunc = s[kRsAlphaFunc];
    p.srgbWrite = s[kRsSrgbWriteEnable] != 0;
    return p;
}

void ApplyPipeline(const PipelineState& w, PipelineState& c, bool& known, uint32_t depthBits)
{
    const bool all = !known;
    known = true;
    if (all || w.depthTest != c.depthTest)
        Enable(GL_DEPTH_TEST, w.depthTest);
    if (all || w.depthWrite != c.depthWrite)
        glDepthMask(w.depthWrite ? GL_TRUE : GL_FALSE);
    if (all || w.depthFunc != c.depthFunc)
        glDepthFunc(w.depthFunc);
    if (all || w.cullFace != c.cullFace) {
        Enable(GL_CULL_FACE, w.cullFace != 0);
        if (w.cullFace)
            glCullFace(w.cullFace);
    }
    if (all || w.polygonMode != c.polygonMode)
        glPolygonMode(GL_FRONT_AND_BACK, w.polygonMode);
    if (all || w.blend != c.blend)
        Enable(GL_BLEND, w.blend);
    if (all || w.srcColour != c.srcColour || w.dstColour != c.dstColour || w.srcAlpha != c.srcAlpha ||
        w.dstAlpha != c.dstAlpha)
        glBlendFuncSeparate(w.srcColour, w.dstColour, w.srcAlpha, w.dstAlpha);
    if (all || w.colourOp != c.colourOp || w.alphaOp != c.alphaOp)
        glBlendEquationSeparate(w.colourOp, w.alphaOp);
    if (all || w.blendColour != c.blendColour)
        glBlendColor(w.blendColour[0], w.blendColour[1], w.blendColour[2], w.blendColour[3]);
    for (GLuint i = 0; i < 4; ++i)
        if (all || w.writeMask[i] != c.writeMask[i])
            glColorMaski(i, (w.writeMask[i] & 1) != 0, (w.writeMask[i] & 2) != 0, (w.writeMask[i] & 4) != 0,
                         (w.writeMask[i] & 8) != 0);
    if (all || w.stencil != c.stencil)
        Enable(GL_STENCIL_TEST, w.stencil);
    if (all || w.front != c.front || w.back != c.back || w.stencilRef != c.stencilRef ||
        w.stencilMask != c.stencilMask) {
        // Counter-clockwise faces are the back faces.
        glStencilFuncSeparate(GL_FRONT, w.front.func, static_cast<GLint>(w.stencilRef), w.stencilMask);
        glStencilFuncSeparate(GL_BACK, w.back.func, static_cast<GLint>(w.stencilRef), w.stencilMask);
        glStencilOpSeparate(GL_FRONT, w.front.fail, w.front.depthFail, w.front.pass);
        glStencilOpSeparate(GL_BACK, w.back.fail, w.back.depthFail, w.back.pass);
    }
    if (all || w.stencilWriteMask != c.stencilWriteMask)
        glStencilMask(w.stencilWriteMask);
    if (all || w.depthBias != c.depthBias || w.depthBiasSlope != c.depthBiasSlope) {
        Enable(GL_POLYGON_OFFSET_FILL, w.depthBias != 0.0f || w.depthBiasSlope != 0.0f);
        // The bias is in depth units; OpenGL counts steps of the depth buffer.
        glPolygonOffset(w.depthBiasSlope, w.depthBias * static_cast<float>(1u << std::min(depthBits, 24u)));
    }
    if (all || w.srgbWrite != c.srgbWrite)
        Enable(GL_FRAMEBUFFER_SRGB, w.srgbWrite);
    c = w;
}

} // namespace gfx::raster
