// Post-processing effects written the way effects for the platform are
// written: `const` globals the program sets, samplers bound by register whose
// texture the program sets on the device, texture parameters with their
// sampler blocks, passes without a vertex shader, full-screen quads at
// exactly -1..1 that add half a texel to their coordinates and quads moved by
// half a pixel. Each draws a picture whose every pixel is compared with the
// same effect computed on the CPU: within 1/255, or 2/255 where a chain of
// float operations (square roots, divisions, colour-space round trips) lets
// the two round apart. Where the effect decides between two results on a
// margin closer than float precision, either result is taken.
#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/gfx/device/render_state.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using gfx_test::Channel;
using gfx_test::Vertex;

namespace {

// ---- The effects ----

const char* kGreyscale = R"(
// Greyscale: the scene's texture set on sampler 0 by the program.
sampler2D SceneSampler : register(s0);
const float2 HalfPixel;
const float3 LumaWeights = float3(0.299, 0.587, 0.114);
struct VSOutput { float4 Position : POSITION; float2 TexCoord : TEXCOORD0; };
VSOutput FullScreenVS(float4 Position : POSITION, float2 TexCoord : TEXCOORD0)
{
    VSOutput Out;
    Out.Position = Position;
    Out.TexCoord = TexCoord + HalfPixel;
    return Out;
}
float4 GreyscalePS(float2 TexCoord : TEXCOORD0) : COLOR0
{
    float4 colour = tex2D(SceneSampler, TexCoord);
    float grey = dot(colour.rgb, LumaWeights);
    return float4(grey, grey, grey, colour.a);
}
technique Greyscale
{
    pass P0
    {
        ZEnable = false;
        VertexShader = compile vs_2_0 FullScreenVS();
        PixelShader = compile ps_2_0 GreyscalePS();
    }
}
)";

const char* kInverse = R"(
texture SceneTexture;
sampler SceneSampler = sampler_state
{
    Texture = <SceneTexture>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
float4 InvertPS(float2 uv : TEXCOORD0) : COLOR
{
    float4 c = tex2D(SceneSampler, uv);
    return float4(1.0 - c.rgb, c.a);
}
// No vertex shader: the quad's corners are where they are drawn.
technique Invert { pass { ZEnable = FALSE; PixelShader = compile ps_2_0 InvertPS(); } }
)";

const char* kBlur = R"(
// A separable blur: across into a float target, then down; the kernel comes
// from the program, five taps a texel apart.
sampler2D Source : register(s0);
const float Weights[5] = { 0.0625, 0.25, 0.375, 0.25, 0.0625 };
const float2 TexelSize;
struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VS_OUT QuadVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VS_OUT o = (VS_OUT)0;
    o.pos = pos;
    o.uv = uv;
    return o;
}
float4 Blur(float2 uv, float2 step)
{
    float4 sum = 0;
    for (int i = 0; i < 5; i++)
        sum += tex2D(Source, uv + step * (i - 2)) * Weights[i];
    return sum;
}
float4 BlurAcrossPS(VS_OUT i) : COLOR { return Blur(i.uv, float2(TexelSize.x, 0)); }
float4 BlurDownPS(VS_OUT i) : COLOR { return Blur(i.uv, float2(0, TexelSize.y)); }
technique SeparableBlur
{
    pass Across { ZEnable = false; VertexShader = compile vs_3_0 QuadVS(); PixelShader = compile ps_3_0 BlurAcrossPS(); }
    pass Down { ZEnable = false; VertexShader = compile vs_3_0 QuadVS(); PixelShader = compile ps_3_0 BlurDownPS(); }
}
)";

const char* kEdges = R"(
// Sobel edges of the luminance, shown as grey.
sampler2D SceneSampler : register(s0);
const float2 HalfPixel;
const float2 TexelSize;
void FullScreenVS(float4 pos : POSITION, float2 uv : TEXCOORD0, out float4 oPos : POSITION, out float2 oUv : TEXCOORD0)
{
    oPos = pos;
    oUv = uv + HalfPixel;
}
float Luma(float2 uv) { return dot(tex2D(SceneSampler, uv).rgb, float3(0.299, 0.587, 0.114)); }
float4 EdgePS(float2 uv : TEXCOORD0) : COLOR
{
    float tl = Luma(uv + TexelSize * float2(-1, -1)), t = Luma(uv + TexelSize * float2(0, -1)), tr = Luma(uv + TexelSize * float2(1, -1));
    float l = Luma(uv + TexelSize * float2(-1, 0)), r = Luma(uv + TexelSize * float2(1, 0));
    float bl = Luma(uv + TexelSize * float2(-1, 1)), b = Luma(uv + TexelSize * float2(0, 1)), br = Luma(uv + TexelSize * float2(1, 1));
    float gx = (tr + 2 * r + br) - (tl + 2 * l + bl);
    float gy = (bl + 2 * b + br) - (tl + 2 * t + tr);
    float edge = saturate(sqrt(gx * gx + gy * gy));
    return float4(edge.xxx, 1);
}
technique EdgeDetect { pass p0 { ZEnable = false; VertexShader = compile vs_3_0 FullScreenVS(); PixelShader = compile ps_3_0 EdgePS(); } }
)";

const char* kVignette = R"(
// A vignette in pixel coordinates: darker with the distance from the centre.
texture SceneTexture;
sampler2D SceneSampler = sampler_state { Texture = <SceneTexture>; MinFilter = Point; MagFilter = Point; };
const float2 ScreenSize;
const float Strength = 1.5;
struct VertexOut { float4 Position : POSITION; float2 Uv : TEXCOORD0; };
VertexOut VS(float4 Position : POSITION, float2 Uv : TEXCOORD0) { VertexOut o; o.Position = Position; o.Uv = Uv; return o; }
float4 VignettePS(float2 uv : TEXCOORD0, float2 pixel : VPOS) : COLOR
{
    float2 p = (pixel + 0.5) / ScreenSize - 0.5;
    float amount = saturate(1.0 - dot(p, p) * Strength);
    float4 c = tex2D(SceneSampler, uv);
    return float4(c.rgb * amount, c.a);
}
technique Vignette { pass { ZEnable = false; VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 VignettePS(); } }
)";

const char* kDesaturate = R"(
// Desaturation through HSL: the saturation scaled, hue and lightness kept.
texture SceneTexture;
sampler SceneSampler = sampler_state { Texture = (SceneTexture); MinFilter = POINT; MagFilter = POINT; AddressU = Clamp; AddressV = Clamp; };
const float2 HalfPixel;
const float Saturation;
float3 RGBToHSL(float3 c)
{
    float maxc = max(c.r, max(c.g, c.b));
    float minc = min(c.r, min(c.g, c.b));
    float l = (maxc + minc) * 0.5;
    float h = 0, s = 0;
    float d = maxc - minc;
    if (d > 0)
    {
        s = l < 0.5 ? d / (maxc + minc) : d / (2.0 - maxc - minc);
        if (maxc == c.r)
            h = (c.g - c.b) / d + (c.g < c.b ? 6.0 : 0.0);
        else if (maxc == c.g)
            h = (c.b - c.r) / d + 2.0;
        else
            h = (c.r - c.g) / d + 4.0;
        h /= 6.0;
    }
    return float3(h, s, l);
}
float HueToRGB(float p, float q, float t)
{
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6.0) return p + (q - p) * 6.0 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3.0) return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}
float3 HSLToRGB(float3 hsl)
{
    if (hsl.y == 0)
        return hsl.zzz;
    float q = hsl.z < 0.5 ? hsl.z * (1 + hsl.y) : hsl.z + hsl.y - hsl.z * hsl.y;
    float p = 2 * hsl.z - q;
    return float3(HueToRGB(p, q, hsl.x + 1.0 / 3.0), HueToRGB(p, q, hsl.x), HueToRGB(p, q, hsl.x - 1.0 / 3.0));
}
struct Quad { float4 pos : POSITION; float2 uv : TEXCOORD0; };
Quad QuadVS(Quad q) { q.uv += HalfPixel; return q; }
float4 DesaturatePS(Quad q) : COLOR0
{
    float4 c = tex2D(SceneSampler, q.uv);
    float3 hsl = RGBToHSL(c.rgb);
    hsl.y *= Saturation;
    return float4(HSLToRGB(hsl), c.a);
}
technique Desaturate { pass { ZEnable = false; VertexShader = compile vs_3_0 QuadVS(); PixelShader = compile ps_3_0 DesaturatePS(); } }
)";

const char* kBrightPass = R"(
// The bright pass of a bloom, tone mapped: what is brighter than the
// threshold, exposed and compressed by x / (1 + x).
sampler2D HDRSampler : register(s0);
const float Threshold = 0.5;
const float Exposure;
float4 BrightPassPS(in float2 TexCoord : TEXCOORD0) : COLOR0
{
    float3 c = tex2D(HDRSampler, TexCoord).rgb * Exposure;
    float luminance = dot(c, float3(0.2126, 0.7152, 0.0722));
    c *= max(luminance - Threshold, 0.0) / max(luminance, 0.0001);
    c = c / (1.0 + c);
    return float4(c, 1.0);
}
technique BrightPass { pass p0 { ZEnable = false; PixelShader = compile ps_2_0 BrightPassPS(); } }
)";

const char* kFxaa = R"(
// An FXAA-like filter: where the contrast about a pixel passes a threshold,
// it is blended toward its neighbours across the edge.
sampler2D ColourSampler : register(s0);
const float2 RcpFrame;
const float EdgeThreshold = 0.125;
const float EdgeThresholdMin = 0.0625;
float FxaaLuma(float3 rgb) { return dot(rgb, float3(0.299, 0.587, 0.114)); }
struct PS_INPUT { float4 Pos : POSITION; float2 Tex : TEXCOORD0; };
PS_INPUT FxaaVS(PS_INPUT In) { return In; }
float4 FxaaPS(PS_INPUT In) : COLOR
{
    float3 rgbM = tex2D(ColourSampler, In.Tex).rgb;
    float3 rgbN = tex2D(ColourSampler, In.Tex + float2(0, -RcpFrame.y)).rgb;
    float3 rgbS = tex2D(ColourSampler, In.Tex + float2(0, RcpFrame.y)).rgb;
    float3 rgbW = tex2D(ColourSampler, In.Tex + float2(-RcpFrame.x, 0)).rgb;
    float3 rgbE = tex2D(ColourSampler, In.Tex + float2(RcpFrame.x, 0)).rgb;
    float lumaM = FxaaLuma(rgbM), lumaN = FxaaLuma(rgbN), lumaS = FxaaLuma(rgbS);
    float lumaW = FxaaLuma(rgbW), lumaE = FxaaLuma(rgbE);
    float rangeMin = min(lumaM, min(min(lumaN, lumaS), min(lumaW, lumaE)));
    float rangeMax = max(lumaM, max(max(lumaN, lumaS), max(lumaW, lumaE)));
    float range = rangeMax - rangeMin;
    if (range < max(EdgeThresholdMin, rangeMax * EdgeThreshold))
        return float4(rgbM, 1);
    bool horizontal = abs(lumaN + lumaS - 2.0 * lumaM) >= abs(lumaW + lumaE - 2.0 * lumaM);
    float3 across = horizontal ? (rgbN + rgbS) * 0.5 : (rgbW + rgbE) * 0.5;
    float amount = saturate(range / rangeMax) * 0.5;
    return float4(lerp(rgbM, across, amount), 1);
}
technique Fxaa { pass P0 { ZEnable = false; VertexShader = compile vs_3_0 FxaaVS(); PixelShader = compile ps_3_0 FxaaPS(); } }
)";

const char* kScroll = R"(
// The picture scrolled, wrapping: states without `= sampler_state`, as one framework writes them.
sampler2D Scene : register(s0) { AddressU = Wrap; AddressV = Wrap; MinFilter = Point; MagFilter = Point; };
float2 Scroll;
float4 ScrollPS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Scene, uv + Scroll); }
technique Scrolled { pass P0 { VertexShader = 0; PixelShader = compile ps_2_0 ScrollPS(); } }
)";

const char* kTaps = R"(
// Three taps a texel apart, handed on by the vertex stage in an array sized
// by a constant expression; coordinates and colours of types typedefs name.
sampler2D Scene : register(s0);
static const int N = 1;
const float2 TexelSize;
typedef half4 color4;
typedef float2 coord;
struct TapsVertex { float4 pos : POSITION; coord uv : TEXCOORD0; float4 taps[3*N] : TEXCOORD2; };
TapsVertex TapsVS(float4 pos : POSITION, coord uv : TEXCOORD0)
{
    TapsVertex o;
    o.pos = pos;
    o.uv = uv;
    for (int i = 0; i < 3 * N; i++)
        o.taps[i] = float4(TexelSize * float2(i - 1, 0), i == 1 ? 0.5 : 0.25, 0);
    return o;
}
color4 TapsPS(TapsVertex i) : COLOR
{
    color4 sum = 0;
    for (int k = 0; k < 3 * N; k++)
        sum += tex2D(Scene, i.uv + i.taps[k].xy) * i.taps[k].z;
    return sum;
}
technique Taps { pass { VertexShader = compile vs_3_0 TapsVS(); PixelShader = compile ps_3_0 TapsPS(); } }
)";

const char* kFogged = R"(
// Fog by a factor written through the swizzle of a one-component member, from
// a vertex input that declares more members than a vertex shader has input
// registers and reads two of them.
texture SceneTexture;
sampler2D SceneSampler = sampler_state { Texture = <SceneTexture>; MinFilter = Point; MagFilter = Point; };
const float3 FogColour = float3(0.2, 0.4, 0.6);
struct AppVertex
{
    float4 Position : POSITION; float3 Normal : NORMAL; float3 Tangent : TANGENT; float3 Binormal : BINORMAL;
    float4 Diffuse : COLOR0; float4 Specular : COLOR1; float4 Weights : BLENDWEIGHT; float4 Bones : BLENDINDICES;
    float2 Uv : TEXCOORD0; float2 Uv1 : TEXCOORD1; float2 Uv2 : TEXCOORD2; float2 Uv3 : TEXCOORD3;
    float2 Uv4 : TEXCOORD4; float2 Uv5 : TEXCOORD5; float2 Uv6 : TEXCOORD6; float2 Uv7 : TEXCOORD7; float Size : PSIZE;
};
struct FoggedVertex { float4 Position : POSITION; float2 Uv : TEXCOORD0; float1 fog : FOG; };
FoggedVertex FogVS(AppVertex v)
{
    FoggedVertex o;
    o.Position = v.Position;
    o.Uv = v.Uv;
    o.fog.x = saturate(v.Uv.y * 0.75 + 0.125);
    return o;
}
float4 FogPS(FoggedVertex i) : COLOR
{
    float4 c = tex2D(SceneSampler, i.Uv);
    return float4(lerp(FogColour, c.rgb, i.fog), c.a);
}
technique Fogged { pass { VertexShader = compile vs_3_0 FogVS(); PixelShader = compile ps_3_0 FogPS(); } }
)";

const char* kDither = R"(
// A 3x3 kernel the program sets, then an ordered dither: arrays of arrays, indexed twice.
sampler2D Scene : register(s0);
float2 TexelSize;
int Kernel[3][3] = { {1, 2, 1}, {2, 4, 2}, {1, 2, 1}, };
static const float Bayer[4][4] = { 0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5 };
float4 DitherPS(float2 uv : TEXCOORD0, float2 pixel : VPOS) : COLOR0
{
    float4 sum = 0;
    float total = 0;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) {
            sum += tex2D(Scene, uv + TexelSize * float2(x - 1, y - 1)) * Kernel[y][x];
            total += Kernel[y][x];
        }
    int2 p = int2(pixel) % 4;
    return sum / total + (Bayer[p.y][p.x] / 16.0 - 0.5) / 16.0;
}
technique Dither { pass P0 { PixelShader = compile ps_3_0 DitherPS(); } }
)";

const char* kSearch = R"(
// How far to the right the first bright texel lies: the loop's variable read after it, and a second loop of its name.
sampler2D Scene : register(s0);
float2 TexelSize;
float4 SearchPS(float2 uv : TEXCOORD0) : COLOR0
{
    for (int i = 0; i < 8; i++)
        if (tex2D(Scene, uv + float2(i * TexelSize.x, 0)).r > 0.5)
            break;
    float reach = i / 8.0;
    float sum = 0;
    for (int i = 0; i < 3; i++)
        sum += tex2D(Scene, uv + float2(0, i * TexelSize.y)).g;
    return float4(reach, sum / 3, i / 4.0, 1);
}
technique Search { pass P0 { PixelShader = compile ps_3_0 SearchPS(); } }
)";

const char* kGrade = R"(
// A colour grade whose constants are written as its functions would write them.
texture SceneTexture;
sampler2D Scene = sampler_state { Texture = <SceneTexture>; MinFilter = Point; MagFilter = Point; };
static const float4x4 Grade = { 0.5, 0.25, 0, 0,  0, 0.5, 0.25, 0,  0.25, 0, 0.5, 0,  0.9, 0.9, 0.9, 1 };
float4 Lift = 0.0625.xxxx;
static const float3 Unit = 1.xxx;
static const float3 None = 0.0.xxx;
float4 Graded(float3 c) { return mul(c, Grade); }
static const float4 Grey = Graded(0.5.xxx);
float4 Warm = mul(float3(0.25, 0.125, 0), Grade);
static const float4 Shade = mul(float3(0.5, 0.25, 1), Grade);
float4 GradePS(float2 uv : TEXCOORD0) : COLOR0
{
    float3 c = tex2D(Scene, uv).rgb * Unit + None;
    // What the evaluator folded, what the shader compiler folded and what the shader computes agree.
    // An integer's swizzle is of integers: 3.xxx / 2 is 1.
    float3 none = Grey.rgb - Graded(0.5.xxx).rgb + Shade.rgb - Graded(float3(0.5, 0.25, 1)).rgb + (3.xxx / 2 - 1);
    return float4(Graded(c).rgb + Lift.rgb + Warm.rgb + none, 1);
}
technique GradeIt { pass P0 { PixelShader = compile ps_3_0 GradePS(); } }
)";

const char* kTables = R"(
// Colours from tables sized by their values, chosen by the part of the picture.
sampler2D Scene : register(s0);
float4 Tints[] = { {1, 0.5, 0.25, 1}, {0.25, 0.5, 1, 1} };
float Steps[][2] = { 0.25, 0.5, 0.75, 1, 0.5, 0.125 };
float4 TablePS(float2 uv : TEXCOORD0, float2 pixel : VPOS) : COLOR0
{
    int right = pixel.x >= 16 ? 1 : 0;
    return tex2D(Scene, uv) * Tints[right] * Steps[int(pixel.y) / 11][right];
}
technique Tables { pass P0 { PixelShader = compile ps_3_0 TablePS(); } }
)";

const char* kRows = R"(
// Colours from rows and elements of a matrix and of a copy of it, by a pixel function named as a program's entry.
sampler2D Scene : register(s0);
float4x4 Tint;
float4 main(float2 uv : TEXCOORD0) : COLOR0
{
    float4x4 local = Tint;
    local._41_42_43 *= 2;
    float3 c = tex2D(Scene, uv).rgb * local._m00_m01_m02 + normalize(Tint._31_32_33) * 0.25;
    return float4(c + local._41_42_43 * 0.5 + Tint._11_22_33 * 0.125, 1);
}
technique Rows { pass P0 { PixelShader = compile ps_3_0 main(); } }
)";

const char* kGradientMap = R"(
// A gradient map: a ramp of one row looked up by the luminance, scaled by a curve, on samplers of either type.
sampler2D Scene : register(s0);
texture RampTexture;
sampler Ramp = sampler_state { Texture = <RampTexture>; MinFilter = Point; MagFilter = Point; AddressU = Clamp; };
sampler1D Curve = sampler_state { Texture = <RampTexture>; MinFilter = Point; MagFilter = Point; AddressU = Clamp; };
float4 GradientPS(float2 uv : TEXCOORD0) : COLOR0
{
    float l = dot(tex2D(Scene, uv).rgb, float3(0.299, 0.587, 0.114));
    return float4(tex1D(Ramp, l).rgb * tex1D(Curve, uv).g, tex1Dlod(Curve, float4(uv.x, 0, 0, 0)).b);
}
technique GradientMap { pass P0 { PixelShader = compile ps_3_0 GradientPS(); } }
)";

const char* kVariant = R"(
// A variant chosen by its compile statement's arguments, fogged where a density is set: any and all of a number.
sampler2D Scene : register(s0);
float4 Tint = float4(0.5, 0.25, 0.5, 1);
float Density;
float4 VariantPS(float2 uv : TEXCOORD0, float2 pixel : VPOS, uniform float3 tint, uniform float3 lift,
                 uniform bool invert) : COLOR0
{
    float3 c = tex2D(Scene, uv).rgb * tint + lift * 0.25;
    if (any(Density)) c = lerp(c, 0.5, Density * uv.y);
    if (!all(fmod(pixel.x, 4))) c *= 0.5;
    return float4(invert ? 1 - c : c, 1);
}
technique Variant { pass P0 { PixelShader = compile ps_3_0 VariantPS(Tint, 1, 1); } }
)";

const char* kElementsRead = R"(
// Swizzles of several matrix elements however written: of a product (not of
// either factor), with a blank, a comment or a line break after the '.', of
// a sum longer than a line, and within another's matrix.
sampler2D Scene : register(s0);
float4x4 Tint;
#define T8 (Tint + Tint + Tint + Tint + Tint + Tint + Tint + Tint)
float4 main(float2 uv : TEXCOORD0) : COLOR0
{
    float3 c = tex2D(Scene, uv).rgb;
    float3x3 K = (float3x3)Tint;
    float4x4 A = float4x4(c, 0, 0, 0, 0.5, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 1);
    float4 p = mul(float4x4(c, 0, 0, 0, 0.5, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 1), (float4x3)Tint)._m01_m12_m10_m10;
    float2 q = mul(A, Tint)._11_22;
    float3 blank = K. _11_22_33, comment = Tint./**/_m00_m11_m22, broken = Tint.
        _11_22_33;
    float3 sum = (T8 + T8 + T8 + T8 + T8)._11_22_33 * float3(1, 1, 1) / 40;
    float3 nested = float3x3(K._11_22_33, K._m01_m12_m20, c)._12_21_33;
    return float4(p.x * 0.5 + p.y + nested.z * 0.25, (blank.y + comment.z + broken.x * 0.5 + p.w) * c.g,
                  sum.z * c.b + (q.x + q.y) * 0.5 + (nested.x + nested.y) * 0.25, 1);
}
technique Read { pass P0 { PixelShader = compile ps_3_0 main(); } }
)";

const char* kAcrossRows = R"(
// Writes across a matrix's rows as effects write them: a diagonal from a
// parameter, a column blended in place, compound and one-row writes, and
// elements of several rows passed to an inout parameter.
sampler2D Scene : register(s0);
float4x4 Tint;
float3 Scale;
void h3(inout float3 v) { v = v * 0.5 + 0.25; }
float4 main(float2 uv : TEXCOORD0) : COLOR0
{
    float3 c = tex2D(Scene, uv).rgb;
    float2 w = c.rg;
    float4x4 S = 0;
    S._11_22_33_44 = float4(Scale, 1);
    float3x3 samples = (float3x3)Tint;
    samples._m00_m10_m20 = lerp(samples._m00_m10_m20, samples._m01_m11_m21, w.x);
    S._12_21 += c.gb;
    S._41_42_43 = c;
    S._m30_m31_m32 *= 0.5;
    h3(S._11_22_33);
    float3 d = samples._m00_m10_m20;
    return float4(d.x * 0.5 + S._12 * 0.5 + S._11 * 0.25, d.y + S._22 * 0.5 + S._42 * 0.5,
                  d.z + S._33 * 0.5 + S._21 * 0.125 + S._43 * 0.5, 1);
}
technique AcrossRows { pass P0 { PixelShader = compile ps_3_0 main(); } }
)";

// ---- The pictures and their CPU references ----

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

constexpr int kSize = 32; // the source and the target

// A gradient with a bright rectangle and a dark blue diagonal line over it:
// smooth parts and hard edges in both directions.
uint32_t SourceTexel(int x, int y)
{
    uint32_t r = uint32_t(40 + x * 6), g = uint32_t(30 + y * 6), b = uint32_t(200 - (x + y) * 3);
    if (x >= 8 && x < 20 && y >= 10 && y < 22)
        r = 230, g = 220, b = 40;
    if (std::abs(x - y - 4) <= 1)
        r = 20, g = 30, b = 240;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// The source texel at (x, y), clamped to the picture, in 0..1.
Rgba At(int x, int y)
{
    const uint32_t t = SourceTexel(std::clamp(x, 0, kSize - 1), std::clamp(y, 0, kSize - 1));
    return {Channel(t, 16) / 255.0, Channel(t, 8) / 255.0, Channel(t, 0) / 255.0, Channel(t, 24) / 255.0};
}

double Luma(const Rgba& c) { return c.r * 0.299 + c.g * 0.587 + c.b * 0.114; }

Rgba Scaled(const Rgba& c, double k) { return {c.r * k, c.g * k, c.b * k, c.a * k}; }
Rgba Sum(const Rgba& a, const Rgba& b) { return {a.r + b.r, a.g + b.g, a.b + b.b, a.a + b.a}; }

const double kKernel[5] = {0.1, 0.2, 0.4, 0.2, 0.1}; // set by the program over the default

Rgba BlurredAcross(int x, int y)
{
    Rgba sum{0, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        sum = Sum(sum, Scaled(At(x + i - 2, y), kKernel[i]));
    return sum;
}

Rgba Blurred(int x, int y)
{
    Rgba sum{0, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        sum = Sum(sum, Scaled(BlurredAcross(x, std::clamp(y + i - 2, 0, kSize - 1)), kKernel[i]));
    return sum;
}

Rgba Edges(int x, int y)
{
    auto l = [&](int dx, int dy) { return Luma(At(x + dx, y + dy)); };
    const double gx = (l(1, -1) + 2 * l(1, 0) + l(1, 1)) - (l(-1, -1) + 2 * l(-1, 0) + l(-1, 1));
    const double gy = (l(-1, 1) + 2 * l(0, 1) + l(1, 1)) - (l(-1, -1) + 2 * l(0, -1) + l(1, -1));
    const double e = std::clamp(std::sqrt(gx * gx + gy * gy), 0.0, 1.0);
    return {e, e, e, 1};
}

constexpr double kVignetteStrength = 1.5;

Rgba Vignetted(int x, int y)
{
    const double px = (x + 0.5) / kSize - 0.5, py = (y + 0.5) / kSize - 0.5;
    const double amount = std::clamp(1.0 - (px * px + py * py) * kVignetteStrength, 0.0, 1.0);
    const Rgba c = At(x, y);
    return {c.r * amount, c.g * amount, c.b * amount, c.a};
}

constexpr double kSaturation = 0.35;

double HueToRgb(double p, double q, double t)
{
    if (t < 0)
        t += 1;
    if (t > 1)
        t -= 1;
    if (t < 1.0 / 6.0)
        return p + (q - p) * 6.0 * t;
    if (t < 0.5)
        return q;
    if (t < 2.0 / 3.0)
        return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

Rgba Desaturated(int x, int y)
{
    const Rgba c = At(x, y);
    const double maxc = std::max({c.r, c.g, c.b}), minc = std::min({c.r, c.g, c.b});
    const double l = (maxc + minc) * 0.5, d = maxc - minc;
    double h = 0, s = 0;
    if (d > 0) {
        s = l < 0.5 ? d / (maxc + minc) : d / (2.0 - maxc - minc);
        if (maxc == c.r)
            h = (c.g - c.b) / d + (c.g < c.b ? 6.0 : 0.0);
        else if (maxc == c.g)
            h = (c.b - c.r) / d + 2.0;
        else
            h = (c.r - c.g) / d + 4.0;
        h /= 6.0;
    }
    s *= kSaturation;
    if (s == 0)
        return {l, l, l, c.a};
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
    return {HueToRgb(p, q, h + 1.0 / 3.0), HueToRgb(p, q, h), HueToRgb(p, q, h - 1.0 / 3.0), c.a};
}

constexpr int kScrollX = 10, kScrollY = 24;

Rgba Scrolled(int x, int y) { return At((x + kScrollX) % kSize, (y + kScrollY) % kSize); }

Rgba Tapped(int x, int y)
{
    return Sum(Sum(Scaled(At(x - 1, y), 0.25), Scaled(At(x, y), 0.5)), Scaled(At(x + 1, y), 0.25));
}

// The factor from the texture coordinate at the pixel's centre.
Rgba Fogged(int x, int y)
{
    const Rgba c = At(x, y);
    const double f = 0.125 + 0.75 * (y + 0.5) / kSize;
    return {0.2 + (c.r - 0.2) * f, 0.4 + (c.g - 0.4) * f, 0.6 + (c.b - 0.6) * f, c.a};
}

constexpr double kThreshold = 0.5, kExposure = 1.6;

Rgba BrightPassed(int x, int y)
{
    Rgba c = Scaled(At(x, y), kExposure);
    const double luminance = c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722;
    const double k = std::max(luminance - kThreshold, 0.0) / std::max(luminance, 0.0001);
    auto map = [&](double v) { return v * k / (1.0 + v * k); };
    return {map(c.r), map(c.g), map(c.b), 1};
}

// Every result the FXAA-like filter may give: one, or both sides of a
// decision whose margin is within float precision.
std::vector<Rgba> Antialiased(int x, int y)
{
    const Rgba m = At(x, y), n = At(x, y - 1), s = At(x, y + 1), w = At(x - 1, y), e = At(x + 1, y);
    const double lm = Luma(m), ln = Luma(n), ls = Luma(s), lw = Luma(w), le = Luma(e);
    const double lo = std::min({lm, ln, ls, lw, le}), hi = std::max({lm, ln, ls, lw, le});
    const double range = hi - lo, threshold = std::max(0.0625, hi * 0.125);
    constexpr double kMargin = 1e-5;
    const Rgba unchanged{m.r, m.g, m.b, 1};
    std::vector<Rgba> out;
    if (range < threshold + kMargin)
        out.push_back(unchanged);
    if (range < threshold - kMargin)
        return out;
    const double vertical = std::abs(ln + ls - 2 * lm), horizontal = std::abs(lw + le - 2 * lm);
    const double amount = std::clamp(range / hi, 0.0, 1.0) * 0.5;
    auto blend = [&](const Rgba& a, const Rgba& b) {
        const Rgba across = Scaled(Sum(a, b), 0.5);
        return Rgba{m.r + (across.r - m.r) * amount, m.g + (across.g - m.g) * amount, m.b + (across.b - m.b) * amount,
                    1};
    };
    if (vertical >= horizontal - kMargin)
        out.push_back(blend(n, s));
    if (vertical < horizontal + kMargin)
        out.push_back(blend(w, e));
    return out;
}

const int kKernel3[3][3] = {{1, 1, 1}, {1, 8, 1}, {1, 1, 1}}; // set by the program over the default
const double kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

Rgba Dithered(int x, int y)
{
    Rgba sum{0, 0, 0, 0};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            sum = Sum(sum, Scaled(At(x + i - 1, y + j - 1), kKernel3[j][i] / 16.0));
    const double d = (kBayer[y % 4][x % 4] / 16.0 - 0.5) / 16.0;
    return {sum.r + d, sum.g + d, sum.b + d, sum.a + d};
}

Rgba Searched(int x, int y)
{
    int i = 0;
    while (i < 8 && !(At(x + i, y).r > 0.5))
        ++i;
    return {i / 8.0, (At(x, y).g + At(x, y + 1).g + At(x, y + 2).g) / 3, 0.75, 1};
}

Rgba Graded(int x, int y)
{
    const Rgba c = At(x, y);
    // The first three rows of Grade, then Lift and Warm.
    return {0.5 * c.r + 0.25 * c.b + 0.0625 + 0.125, 0.25 * c.r + 0.5 * c.g + 0.0625 + 0.125,
            0.25 * c.g + 0.5 * c.b + 0.0625 + 0.03125, 1};
}

const float kSteps[6] = {0.5f, 0.25f, 1, 0.75f, 0.125f, 0.5f}; // set by the program over the default

Rgba FromTables(int x, int y)
{
    const bool right = x >= 16;
    const Rgba tint = right ? Rgba{0.25, 0.5, 1, 1} : Rgba{1, 0.5, 0.25, 1};
    const Rgba c = At(x, y);
    const double step = kSteps[(y / 11) * 2 + (right ? 1 : 0)];
    return {c.r * tint.r * step, c.g * tint.g * step, c.b * tint.b * step, c.a * step};
}

// Row by row, as the program sets it.
const float kTint[16] = {0.5f, 0.25f, 0.25f, 0, 0, 0.2f, 0, 0, 0, 0.3f, 0.4f, 0, 0.1f, 0.05f, 0, 1};

Rgba FromRows(int x, int y)
{
    const Rgba c = At(x, y);
    // The third row, (0, 0.3, 0.4), normalized is (0, 0.6, 0.8).
    return {c.r * 0.5 + 0.1 + 0.5 * 0.125, c.g * 0.25 + 0.6 * 0.25 + 0.05 + 0.2 * 0.125,
            c.b * 0.25 + 0.8 * 0.25 + 0.4 * 0.125, 1};
}

uint32_t RampTexel(int k) { return gfx_test::Argb(k / 7.0, 1 - k / 7.0, (k % 3) / 2.0); }

// Either texel a luminance on a texel's edge, within float precision, may take.
std::vector<Rgba> GradientMapped(int x, int y)
{
    const uint32_t curve = RampTexel(x / 4);
    const double g = Channel(curve, 8) / 255.0, a = Channel(curve, 0) / 255.0;
    std::vector<Rgba> out;
    for (const double l : {Luma(At(x, y)) - 1e-5, Luma(At(x, y)) + 1e-5}) {
        const uint32_t ramp = RampTexel(std::clamp(int(l * 8), 0, 7));
        out.push_back({Channel(ramp, 16) / 255.0 * g, Channel(ramp, 8) / 255.0 * g, Channel(ramp, 0) / 255.0 * g, a});
    }
    return out;
}

constexpr double kDensity = 0.75;

Rgba Variant(int x, int y)
{
    const double f = kDensity * (y + 0.5) / kSize, k = x % 4 == 0 ? 0.5 : 1;
    const auto v = [&](double lit) { return 1 - (lit + (0.5 - lit) * f) * k; };
    const Rgba c = At(x, y);
    return {v(c.r * 0.5 + 0.25), v(c.g * 0.25 + 0.25), v(c.b * 0.5 + 0.25), 1};
}

// Tint's rows mixed by c (the first row of the products), and halves of its
// third and fourth rows (their second).
Rgba ElementsRead(int x, int y)
{
    const Rgba c = At(x, y);
    return {0.5 * (0.25 * c.r + 0.2 * c.g + 0.3 * c.b) + 0.2 + 0.25 * c.b, 0.9 * c.g, 0.4 * c.b + 0.25 * c.r + 0.2, 1};
}

// Scale (0.2, 0.4, 0.6) on the diagonal, halved and raised by a quarter;
// Tint's first column blended to its second by c.r.
Rgba AcrossRows(int x, int y)
{
    const Rgba c = At(x, y);
    return {0.25 - 0.125 * c.r + 0.5 * c.g + 0.0875, 0.2 * c.r + 0.225 + 0.25 * c.g, 0.3 * c.r + 0.275 + 0.375 * c.b, 1};
}

// ---- The suite ----

enum class QuadStyle {
    Exact,      // corners at exactly -1 and 1; the effect adds HalfPixel to its coordinates
    HalfPixel,  // corners moved up and left by half a pixel
};
enum class TextureFrom {
    Device,     // set on sampler 0 by the program
    Parameter,  // set through the effect's SceneTexture
};

struct SuiteCase {
    const char* name;
    const char* source;
    QuadStyle quad;
    TextureFrom texture;
    std::function<void(RuntimeEffect&)> set;
    std::function<std::vector<Rgba>(int, int)> reference;
    int tolerance; // in 255ths
};

std::function<std::vector<Rgba>(int, int)> One(Rgba (*f)(int, int))
{
    return [f](int x, int y) { return std::vector<Rgba>{f(x, y)}; };
}

void SetPair(RuntimeEffect& e, const char* name, float x, float y)
{
    const float v[4] = {x, y, 0, 0};
    ASSERT_EQ(kEffectOk, e.SetVector(name, v)) << name;
}

class GfxRasterEffectSuite : public gfx_test::RasterTest {
protected:
    void SetUp() override
    {
        RasterTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(kWidth, uint32_t(kSize));
        scene = MakeTexture(kSize, kSize, [](uint32_t x, uint32_t y) { return SourceTexel(int(x), int(y)); });
        // Between the passes of a blur: a float target, read back exactly.
        ASSERT_EQ(kOk, device->CreateTexture(kSize, kSize, 1, kUsageRenderTarget, kFormatA32B32G32R32F, kPoolDefault,
                                             &between));
        owned.push_back(between);
    }

    void SetQuad(QuadStyle style)
    {
        if (style == QuadStyle::HalfPixel) {
            SetGeometry(Rectangle(0, 0, kWidth, kHeight), RectangleIndices());
            return;
        }
        SetGeometry(std::vector<Vertex>{{-1, 1, 0.5f, 1, 0, 0}, {1, 1, 0.5f, 1, 1, 0}, {1, -1, 0.5f, 1, 1, 1},
                                        {-1, -1, 0.5f, 1, 0, 1}},
                    RectangleIndices());
    }

    // Every pass of the effect's first technique; each pass but the last
    // draws into the float target, which the next one reads on sampler 0.
    void DrawAllPasses()
    {
        uint32_t passes = 0;
        ASSERT_EQ(kEffectOk, effect->Begin(passes));
        Surface* level = nullptr;
        ASSERT_EQ(kOk, between->GetSurfaceLevel(0, &level));
        for (uint32_t pass = 0; pass < passes; ++pass) {
            const bool last = pass + 1 == passes;
            ASSERT_EQ(kOk, device->SetRenderTarget(0, last ? back : level));
            ASSERT_EQ(kEffectOk, effect->BeginPass(pass));
            ASSERT_EQ(kOk, device->DrawIndexedPrimitive(kPrimitiveTriangleList, 0, 0, vertexCount, 0, indexCount / 3));
            effect->EndPass();
            if (!last) {
                ASSERT_EQ(kOk, device->SetTexture(0, between));
            }
        }
        effect->End();
        level->Release();
    }

    Texture* scene = nullptr;
    Texture* between = nullptr;
};

TEST_F(GfxRasterEffectSuite, EffectsWrittenAsOthersWriteThemDrawWhatTheCpuComputes)
{
    const float texel = 1.0f / kSize;
    const SuiteCase cases[] = {
        {"greyscale", kGreyscale, QuadStyle::Exact, TextureFrom::Device,
         [&](RuntimeEffect& e) { SetPair(e, "HalfPixel", texel / 2, texel / 2); },
         [](int x, int y) {
             const Rgba c = At(x, y);
             const double l = Luma(c);
             return std::vector<Rgba>{{l, l, l, c.a}};
         },
         1},
        {"inverse", kInverse, QuadStyle::HalfPixel, TextureFrom::Parameter, [](RuntimeEffect&) {},
         [](int x, int y) {
             const Rgba c = At(x, y);
             return std::vector<Rgba>{{1 - c.r, 1 - c.g, 1 - c.b, c.a}};
         },
         1},
        {"separable blur", kBlur, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) {
             const float weights[5] = {float(kKernel[0]), float(kKernel[1]), float(kKernel[2]), float(kKernel[3]),
                                       float(kKernel[4])};
             ASSERT_EQ(kEffectOk, e.SetFloatArray("Weights", weights, 5));
             SetPair(e, "TexelSize", texel, texel);
         },
         One(&Blurred), 1},
        {"edge detection", kEdges, QuadStyle::Exact, TextureFrom::Device,
         [&](RuntimeEffect& e) {
             SetPair(e, "HalfPixel", texel / 2, texel / 2);
             SetPair(e, "TexelSize", texel, texel);
         },
         One(&Edges), 2},
        {"vignette", kVignette, QuadStyle::HalfPixel, TextureFrom::Parameter,
         [](RuntimeEffect& e) { SetPair(e, "ScreenSize", float(kSize), float(kSize)); }, One(&Vignetted), 1},
        {"desaturation through HSL", kDesaturate, QuadStyle::Exact, TextureFrom::Parameter,
         [&](RuntimeEffect& e) {
             SetPair(e, "HalfPixel", texel / 2, texel / 2);
             ASSERT_EQ(kEffectOk, e.SetFloat("Saturation", float(kSaturation)));
         },
         One(&Desaturated), 2},
        {"bright pass with tone mapping", kBrightPass, QuadStyle::HalfPixel, TextureFrom::Device,
         [](RuntimeEffect& e) { ASSERT_EQ(kEffectOk, e.SetFloat("Exposure", float(kExposure))); }, One(&BrightPassed),
         2},
        {"scroll through a sampler block without sampler_state", kScroll, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) { SetPair(e, "Scroll", kScrollX * texel, kScrollY * texel); }, One(&Scrolled), 1},
        {"FXAA-like edge filter", kFxaa, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) { SetPair(e, "RcpFrame", texel, texel); }, &Antialiased, 1},
        {"taps in an array sized by a constant expression, of types typedefs name", kTaps, QuadStyle::HalfPixel,
         TextureFrom::Device, [&](RuntimeEffect& e) { SetPair(e, "TexelSize", texel, texel); }, One(&Tapped), 1},
        {"fog through a one-component member's swizzle, from an input of more members than registers", kFogged,
         QuadStyle::HalfPixel, TextureFrom::Parameter, [](RuntimeEffect&) {}, One(&Fogged), 1},
        {"a kernel and a dither in arrays of arrays", kDither, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) {
             SetPair(e, "TexelSize", texel, texel);
             // Laid out as one array of nine, row after row: whole, and by element.
             int32_t kernel[9] = {};
             ASSERT_EQ(kEffectOk, e.GetValue("Kernel", kernel, sizeof kernel));
             EXPECT_EQ(kernel[3], 2);
             std::fill(std::begin(kernel), std::end(kernel), 1);
             ASSERT_EQ(kEffectOk, e.SetValue("Kernel", kernel, sizeof kernel));
             ASSERT_EQ(kEffectOk, e.SetFloat("Kernel[4]", 8));
             float back[9] = {};
             ASSERT_EQ(kEffectOk, e.GetFloatArray("Kernel", back, 9));
             EXPECT_EQ(back[4] + back[8], 9);
         },
         One(&Dithered), 1},
        {"a loop's variable read after it", kSearch, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) { SetPair(e, "TexelSize", texel, texel); }, One(&Searched), 1},
        {"constants written as functions write them", kGrade, QuadStyle::HalfPixel, TextureFrom::Parameter,
         [](RuntimeEffect&) {}, One(&Graded), 1},
        {"tables of unstated sizes", kTables, QuadStyle::HalfPixel, TextureFrom::Device,
         [](RuntimeEffect& e) {
             uint32_t bytes = 0;
             ASSERT_EQ(kEffectOk, e.ValueBytes("Steps", bytes));
             EXPECT_EQ(bytes, sizeof kSteps);
             ASSERT_EQ(kEffectOk, e.SetFloatArray("Steps", kSteps, 6));
         },
         One(&FromTables), 1},
        {"matrix rows and elements read by swizzles of several", kRows, QuadStyle::HalfPixel, TextureFrom::Device,
         [](RuntimeEffect& e) { ASSERT_EQ(kEffectOk, e.SetMatrix("Tint", kTint)); }, One(&FromRows), 1},
        {"a ramp of one row looked up by one coordinate", kGradientMap, QuadStyle::HalfPixel, TextureFrom::Device,
         [&](RuntimeEffect& e) {
             const auto ramp = [](uint32_t x, uint32_t) { return RampTexel(int(x)); };
             ASSERT_EQ(kEffectOk, e.SetTexture("RampTexture", MakeTexture(8, 1, ramp)));
         },
         &GradientMapped, 1},
        {"a compile statement's arguments converted, any and all of a number", kVariant, QuadStyle::HalfPixel,
         TextureFrom::Device, [](RuntimeEffect& e) { ASSERT_EQ(kEffectOk, e.SetFloat("Density", float(kDensity))); },
         One(&Variant), 1},
        {"matrix elements of several rows read, of a product, after a blank, a comment or a line break, of a long sum "
         "and within another's matrix",
         kElementsRead, QuadStyle::HalfPixel, TextureFrom::Device,
         [](RuntimeEffect& e) { ASSERT_EQ(kEffectOk, e.SetMatrix("Tint", kTint)); }, One(&ElementsRead), 1},
        {"matrix elements of several rows written: assigned, blended in place, compound, one row, inout", kAcrossRows,
         QuadStyle::HalfPixel, TextureFrom::Device,
         [](RuntimeEffect& e) {
             const float scale[4] = {0.2f, 0.4f, 0.6f, 0};
             ASSERT_EQ(kEffectOk, e.SetMatrix("Tint", kTint));
             ASSERT_EQ(kEffectOk, e.SetVector("Scale", scale));
         },
         One(&AcrossRows), 1},
    };
    for (const SuiteCase& c : cases) {
        SCOPED_TRACE(c.name);
        UseEffect(c.source);
        if (HasFatalFailure())
            return;
        // What the program does for post-processing: the scene on unit 0, clamped.
        ASSERT_EQ(kOk, device->SetTexture(0, c.texture == TextureFrom::Device ? scene : nullptr));
        ASSERT_EQ(kOk, device->SetSamplerState(0, kSampAddressU, 3));
        ASSERT_EQ(kOk, device->SetSamplerState(0, kSampAddressV, 3));
        if (c.texture == TextureFrom::Parameter) {
            ASSERT_EQ(kEffectOk, effect->SetTexture("SceneTexture", scene));
        }
        c.set(*effect);
        if (HasFatalFailure())
            return;
        SetQuad(c.quad);
        ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget | kClearZBuffer, 0x00000000u, 1.0f, 0));
        DrawAllPasses();
        if (HasFatalFailure())
            return;
        ExpectEveryPixelOneOf(
            [&](uint32_t x, uint32_t y) {
                std::vector<uint32_t> colours;
                for (const Rgba& want : c.reference(int(x), int(y)))
                    colours.push_back(gfx_test::Argb(want.r, want.g, want.b, want.a));
                return colours;
            },
            c.tolerance);
    }
}

} // namespace
