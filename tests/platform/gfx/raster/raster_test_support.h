#pragma once
// A rasterizing device for the picture tests: made with drawing on, a helper
// that binds geometry (clip-space positions, texture coordinates), effects
// compiled from small sources, and the pixels of the back buffer read back.
// Tests skip with a message when no OpenGL 4.5 context can be made.
// RasterTestWith<source> starts each test with that effect compiled and the
// target cleared; kPassOn and kPointSampled are effect sources' common parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace gfx_test {

// A8R8G8B8 of channels in 0..1, clamped and rounded as the target stores them.
inline uint32_t Argb(double r, double g, double b, double a = 1.0)
{
    const auto byte = [](double v) { return uint32_t(std::lround(255.0 * std::clamp(v, 0.0, 1.0))); };
    return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

// A point on the target in the platform's pixel coordinates: x right, y
// down, pixel (i, j) centred on (i, j).
struct Point {
    double x, y;
};

// The top-left rule on the CPU: whether the triangle `t` (either winding)
// covers `p`. Taken clockwise on the target, its inside lies right of each
// edge; a centre on an edge belongs to it only on a top edge (running to the
// right) or a left one (running up).
inline bool Covers(const Point* t, Point p)
{
    Point v[3] = {t[0], t[1], t[2]};
    const double area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[1].y - v[0].y) * (v[2].x - v[0].x);
    if (area == 0)
        return false;
    if (area < 0)
        std::swap(v[1], v[2]);
    for (int e = 0; e < 3; ++e) {
        const Point a = v[e], b = v[(e + 1) % 3];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double side = dx * (p.y - a.y) - dy * (p.x - a.x);
        if (side < 0 || (side == 0 && !((dy == 0 && dx > 0) || dy < 0)))
            return false;
    }
    return true;
}

// A vertex stage handing on position and coordinates, and PASS(name, ps):
// a technique of one pass drawing it with the pixel stage `ps` (both 3_0).
inline constexpr const char* kPassOn = R"(
struct Through { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Through PassOn(float4 pos : POSITION, float2 uv : TEXCOORD0) { Through o; o.pos = pos; o.uv = uv; return o; }
#define PASS(name, ps) technique name { pass p { VertexShader = compile vs_3_0 PassOn(); PixelShader = compile ps_3_0 ps(); } }
)";

// kPassOn, and technique `textured`: the texture parameter Picture read point
// sampled and clamped by PictureSampler.
inline const std::string kPointSampled = std::string(kPassOn) + R"(
texture Picture;
sampler2D PictureSampler = sampler_state
{
    Texture = <Picture>;
    MinFilter = Point; MagFilter = Point; MipFilter = None;
    AddressU = Clamp; AddressV = Clamp;
};
float4 Textured(float2 uv : TEXCOORD0) : COLOR { return tex2D(PictureSampler, uv); }
PASS(textured, Textured)
)";

struct Vertex {
    float x, y, z, w; // clip space
    float u, v;
};

class RasterTest : public ::testing::Test {
protected:
    static constexpr uint32_t kWidth = 32;
    static constexpr uint32_t kHeight = 32;

    void SetUp() override
    {
        gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
        test = std::make_unique<TestDevice>(kWidth, kHeight, true);
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        device = test->device;
        ASSERT_NE(nullptr, device);
        if (!device->Rasterizes())
            GTEST_SKIP() << "no OpenGL 4.5 context can be made here; nothing is drawn";
        ASSERT_EQ(gfx::kOk, device->GetRenderTarget(0, &back));
        const gfx::VertexElement elements[] = {{0, 0, gfx::kDeclFloat4, 0, gfx::kDeclUsagePosition, 0},
                                               {0, 16, gfx::kDeclFloat2, 0, gfx::kDeclUsageTexcoord, 0},
                                               {1, 0, gfx::kDeclFloat4, 0, gfx::kDeclUsageTexcoord, 1},
                                               gfx::kDeclEnd};
        ASSERT_EQ(gfx::kOk, device->CreateVertexDeclaration(elements, &declaration));
        ASSERT_EQ(gfx::kOk, device->SetVertexDeclaration(declaration));
        ASSERT_EQ(gfx::kOk, device->BeginScene());
    }
    void TearDown() override
    {
        if (device) {
            device->BindEffect(nullptr);
            device->SetStreamSource(0, nullptr, 0, 0);
            device->SetStreamSource(1, nullptr, 0, 0);
            device->SetIndices(nullptr);
            device->SetVertexDeclaration(nullptr);
        }
        effect.reset();
        for (gfx::RefCounted* object : owned)
            object->Release();
        gfx::SafeRelease(declaration);
        gfx::SafeRelease(back);
        test.reset();
    }

    // Compiles `source` for this device; fails the test with the messages, going on with an effect of nothing.
    void UseEffect(const std::string& source)
    {
        std::string errors;
        EXPECT_EQ(gfx::kEffectOk, gfx::RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors)) << errors;
        effect = effect ? std::move(effect) : std::make_unique<gfx::RuntimeEffect>(gfx::EffectDescription{});
        effect->SetDevice(device);
    }

    // Vertices of another layout than Vertex go with a declaration of their own.
    template <class V = Vertex>
    void SetGeometry(const std::vector<V>& vertices, const std::vector<uint16_t>& indices)
    {
        gfx::VertexBuffer* vb = nullptr;
        gfx::IndexBuffer* ib = nullptr;
        const auto vbBytes = static_cast<uint32_t>(vertices.size() * sizeof(V));
        const auto ibBytes = static_cast<uint32_t>(indices.size() * sizeof(uint16_t));
        ASSERT_EQ(gfx::kOk, device->CreateVertexBuffer(vbBytes, 0, 0, gfx::kPoolDefault, &vb));
        ASSERT_EQ(gfx::kOk, device->CreateIndexBuffer(ibBytes, 0, gfx::kFormatIndex16, gfx::kPoolDefault, &ib));
        Fill(vb, vertices.data(), vbBytes);
        Fill(ib, indices.data(), ibBytes);
        owned.push_back(vb);
        owned.push_back(ib);
        ASSERT_EQ(gfx::kOk, device->SetStreamSource(0, vb, 0, sizeof(V)));
        ASSERT_EQ(gfx::kOk, device->SetIndices(ib));
        vertexCount = static_cast<uint32_t>(vertices.size());
        indexCount = static_cast<uint32_t>(indices.size());
    }

    // Sets the effect's float4 `name` (Colour unless told).
    void SetColour(float r, float g, float b, float a, const char* name = "Colour")
    {
        const float colour[4] = {r, g, b, a};
        ASSERT_EQ(gfx::kEffectOk, effect->SetVector(name, colour)) << name;
    }

    // A managed A8R8G8B8 texture of one level, `texel` giving each texel,
    // written through a lock as a program writes it; the test owns it.
    gfx::Texture* MakeTexture(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& texel)
    {
        gfx::Texture* texture = nullptr;
        EXPECT_EQ(gfx::kOk, device->CreateTexture(width, height, 1, 0, gfx::kFormatA8R8G8B8, gfx::kPoolManaged, &texture));
        if (!texture)
            return nullptr;
        owned.push_back(texture);
        gfx::LockedRect locked;
        EXPECT_EQ(gfx::kOk, texture->LockRect(0, &locked, nullptr, 0));
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t value = texel(x, y);
                std::memcpy(static_cast<uint8_t*>(locked.bits) + size_t(y) * uint32_t(locked.pitch) + x * 4, &value, 4);
            }
        EXPECT_EQ(gfx::kOk, texture->UnlockRect(0));
        return texture;
    }
    // A texture of one row of `texels`.
    gfx::Texture* MakeRow(const std::vector<uint32_t>& texels)
    {
        return MakeTexture(uint32_t(texels.size()), 1, [&](uint32_t x, uint32_t) { return texels[x]; });
    }

    template <class T>
    void Fill(T* buffer, const void* data, uint32_t bytes)
    {
        void* into = nullptr;
        ASSERT_EQ(gfx::kOk, buffer->Lock(0, 0, &into, 0));
        std::memcpy(into, data, bytes);
        ASSERT_EQ(gfx::kOk, buffer->Unlock());
    }

    // Draws the bound geometry (triangles, or points) with every pass of `technique`.
    void DrawWith(const std::string& technique, gfx::PrimitiveType primitive = gfx::kPrimitiveTriangleList)
    {
        const uint32_t primitives = primitive == gfx::kPrimitivePointList ? indexCount : indexCount / 3;
        ASSERT_EQ(gfx::kEffectOk, effect->SetTechnique(technique));
        uint32_t passes = 0;
        ASSERT_EQ(gfx::kEffectOk, effect->Begin(passes));
        for (uint32_t pass = 0; pass < passes; ++pass) {
            ASSERT_EQ(gfx::kEffectOk, effect->BeginPass(pass));
            ASSERT_EQ(gfx::kOk, device->DrawIndexedPrimitive(primitive, 0, 0, vertexCount, 0, primitives));
            effect->EndPass();
        }
        effect->End();
    }

    // A rectangle in pixel edges (left, top, right, bottom) as two triangles,
    // clockwise on screen, at depth z; texture coordinates 0..1 over it.
    static std::vector<Vertex> Rectangle(float left, float top, float right, float bottom, float z = 0.5f)
    {
        // Pixel centres are on integers: the edge of pixel x is at x - 0.5.
        auto cx = [](float x) { return (x - 0.5f) / kWidth * 2.0f - 1.0f; };
        auto cy = [](float y) { return 1.0f - (y - 0.5f) / kHeight * 2.0f; };
        return {{cx(left), cy(top), z, 1, 0, 0},
                {cx(right), cy(top), z, 1, 1, 0},
                {cx(right), cy(bottom), z, 1, 1, 1},
                {cx(left), cy(bottom), z, 1, 0, 1}};
    }
    static std::vector<uint16_t> RectangleIndices(uint16_t first = 0)
    {
        return {first, uint16_t(first + 1), uint16_t(first + 2), first, uint16_t(first + 2), uint16_t(first + 3)};
    }

    void Clear(uint32_t colour = 0xFF000000u)
    {
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, colour, 1.0f, 0));
    }

    // Clears to `clear` and draws a quad over the whole target with `technique`.
    void DrawWhole(const std::string& technique, uint32_t clear = 0xFF000000u)
    {
        Clear(clear);
        SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
        DrawWith(technique);
    }

    // Every pixel against the colour `expected` gives for it (A8R8G8B8): each
    // channel within `tolerance` 255ths, alpha too where `withAlpha`.
    void ExpectEveryPixel(const std::function<uint32_t(uint32_t x, uint32_t y)>& expected, int tolerance = 1,
                          bool withAlpha = true)
    {
        ExpectEveryPixelOneOf([&](uint32_t x, uint32_t y) { return std::vector<uint32_t>{expected(x, y)}; },
                              tolerance, withAlpha);
    }
    // The same where a pixel may be any one of the colours `expected` gives.
    void ExpectEveryPixelOneOf(const std::function<std::vector<uint32_t>(uint32_t x, uint32_t y)>& expected,
                               int tolerance = 1, bool withAlpha = true)
    {
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const uint32_t got = Pixel(x, y);
                bool near = false;
                std::string wanted;
                for (uint32_t want : expected(x, y)) {
                    bool close = true;
                    for (int shift = withAlpha ? 24 : 16; shift >= 0; shift -= 8)
                        close = close && std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) <= tolerance;
                    near = near || close;
                    char text[16];
                    std::snprintf(text, sizeof text, " 0x%08x", want);
                    wanted += text;
                }
                ASSERT_TRUE(near) << "at " << x << "," << y << ": 0x" << std::hex << got << " for" << wanted;
            }
    }

    // The rectangle's colour where it is drawn, the clear colour elsewhere.
    void ExpectRectangle(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint32_t inside,
                         uint32_t outside = 0xFF000000u)
    {
        ExpectEveryPixel(
            [=](uint32_t x, uint32_t y) { return x >= left && x < right && y >= top && y < bottom ? inside : outside; }, 0);
    }

    // The back buffer's texel at (x, y) as A8R8G8B8.
    uint32_t Pixel(uint32_t x, uint32_t y) { return PixelOf(*back, x, y); }
    static uint32_t PixelOf(gfx::Surface& surface, uint32_t x, uint32_t y)
    {
        const std::span<uint8_t> bytes = platform::testing::SurfaceBytes(surface);
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + size_t(y) * platform::testing::SurfacePitch(surface) + x * 4, 4);
        return value;
    }

    std::unique_ptr<TestDevice> test;
    gfx::Device* device = nullptr;
    gfx::Surface* back = nullptr;
    gfx::VertexDeclaration* declaration = nullptr;
    std::unique_ptr<gfx::RuntimeEffect> effect;
    std::vector<gfx::RefCounted*> owned;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
};

// A RasterTest whose tests start with the effect `Source` compiled and the
// target cleared.
template <const std::string& Source>
class RasterTestWith : public RasterTest {
protected:
    void SetUp() override
    {
        RasterTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        UseEffect(Source);
        Clear();
    }
};

// Channels of an A8R8G8B8 value.
inline int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

} // namespace gfx_test
