// Shared declarations, included relative to the including file's folder.
#ifndef COMMON_FXH
#define COMMON_FXH

#define SATURATE(x) clamp((x), 0.0, 1.0)
#define LIGHT_COUNT 2

float4x4 MatWorldViewProj : WORLDVIEWPROJECTION;
float4x4 MatWorld : WORLD;
float4x4 MatView : VIEW;
float4 PosCam = float4(0, 0, 0, 1);

struct VertexInput
{
    float4 pos : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
};

struct VertexOutput
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float4 color : COLOR0;
};

#endif
/* A small effect that uses every piece of effect-file syntax the system's own
   effects need: parameters of every kind with initial values, semantics and
   annotations, textures with samplers, structs, shader functions, several
   techniques of several passes, and a part that depends on a define. */

// Scalars, vectors, matrices and arrays with initial values.
float fogMult = 0.5;
float exposure < string UIName = "Exposure"; float UIMin = 0.0; float UIMax = 4.0; > = 1.0;
bool useFog = true;
int objectCount = 3;
float3 skyTint = { 0.25, 0.5, 1.0 };
float4 LightColor : LIGHTCOLOR = float4(1.0, 0.9, 0.8, 1.0);
float4 LightDir = { 0.0, -1.0, 0.0, 0.0 };
float4 AmbientColor = 0.1;
float4 FogColor;
float2x2 rotation = { 1, 0, 0, 1 };
float4x3 boneFrame = { 1, 0, 0,  0, 1, 0,  0, 0, 1,  0, 0, 0 };
float4 shCoeffs[16];
float4 casterRadius[4] = { 1, 1, 1, 1,  2, 2, 2, 2,  3, 3, 3, 3,  4, 4, 4, 4 };
float4x4 lightMatrix[LIGHT_COUNT * 2];
float weights[3] = { 0.25, 0.5, 0.25 };
vector<float, 3> upVector = { 0, 1, 0 };
matrix<float, 3, 3> normalBasis = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };
float scale = -2.0 * 0.25 + 1.0;
string effectName = "grammar " "test";
static const float PI = 3.14159265;
shared uniform float atlasRes : register(c20) = 512.0;

// Textures with their samplers.
texture shadowAtlas < string ResourceName = "shadow.dds"; >;
texture2D noisemap;
texture3D jittermap;
textureCUBE environment;

sampler2D shadowSampler = sampler_state
{
    Texture = <shadowAtlas>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
    BorderColor = 0xffffffff;
};
sampler3D jitterSampler = sampler_state { Texture = (jittermap); AddressU[0] = Wrap; };
samplerCUBE environmentSampler = sampler_state { texture = <environment>; };
sampler noiseSampler : register(s3);

VertexOutput TransformVS(VertexInput input, uniform bool lit)
{
    VertexOutput output;
    output.pos = mul(input.pos, MatWorldViewProj);
    output.uv = input.uv;
    float shade = lit ? SATURATE(dot(input.normal, -LightDir.xyz)) : 1.0;
    output.color = float4(LightColor.rgb * shade + AmbientColor.rgb, 1.0);
    for (int i = 0; i < 3; ++i) { output.color.rgb *= weights[i] * 4.0 / 3.0; }
    return output;
}

float4 ColorPS(VertexOutput input) : COLOR0
{
    float4 color = input.color * tex2D(shadowSampler, input.uv);
#ifdef USE_HDR
    color.rgb *= exposure;
#endif
    return useFog ? lerp(color, FogColor, fogMult) : color;
}

float4 DepthPS(VertexOutput input) : COLOR0 { return input.pos.zzzz; }

technique depth
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 TransformVS(false);
        PixelShader = compile ps_2_0 DepthPS();
    }
}

technique diff < string Description = "lit colour"; >
{
    pass base < int order = 0; >
    {
        AlphaBlendEnable = false;
        VertexShader = compile vs_3_0 TransformVS(true);
        PixelShader = compile ps_3_0 ColorPS();
    }
    pass fog
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        Sampler[0] = (shadowSampler);
        VertexShader = compile vs_3_0 TransformVS(true);
        PixelShader = compile ps_3_0 ColorPS();
    }
    pass outline
    {
        FillMode = Wireframe;
        VertexShader = compile vs_2_0 TransformVS(false);
        PixelShader = NULL;
    }
}

#if defined(USE_HDR) && LIGHT_COUNT > 1
float exposureBias = 0.5;

technique post
{
    pass tonemap { VertexShader = compile vs_2_0 TransformVS(false); PixelShader = compile ps_2_0 ColorPS(); }
    pass bloom { ZEnable = false; PixelShader = compile ps_2_0 ColorPS(); }
}
#elif LIGHT_COUNT == 2
technique post
{
    pass copy { PixelShader = compile ps_2_0 ColorPS(); }
}
#else
#error LIGHT_COUNT must be 2
#endif
