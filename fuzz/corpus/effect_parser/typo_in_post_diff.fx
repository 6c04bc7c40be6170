// Fast approximate anti-aliasing in two passes. "preFXAA" copies the image
// with its perceived luminance in alpha; "postFXAA" finds pixels on a
// luminance edge from the four corners half a pixel away, estimates the
// edge's direction from them and blends along it, keeping the wider blend
// only when it stays within the neighbourhood's luminance range.

#define EDGE_THRESHOLD 0.125
#define EDGE_THRESHOLD_MIN 0.05
#define REDUCE_MUL 0.03125
#define REDUCE_MIN 0.0078125
#define SPAN_MAX 8.0

float4x4 MatWorldViewProj;
float4 rcpFrame;    // (1 / width, 1 / height, 0, 0)
float4 rcpFrameOpt; // (2 / width, 2 / height, 0.5 / width, 0.5 / height)
float screenWidth;
float screenHeight;
texture temptex;

sampler2D image = sampler_state {
    Texture = <temptex>;
    MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};

struct QuadVertex {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};

QuadVertex QuadVS(float3 position : POSITION, float2 uv : TEXCOORD0)
{
    QuadVertex o;
    o.position = float4(mul(float4(position, 1.0), MatWorldViewProj).xy, 0.0, 1.0);
    o.uv = uv;
    return o;
}

float4 Sample(float2 uv)
{
    return tex2Dlod(image, float4(uv, 0.0, 0.0));
}

float4 PreFxaaPS(QuadVertex i) : COLOR0
{
    float3 colour = Sample(i.uv).rgb;
    return float4(colour, sqrt(dot(colour, float3(0.299, 0.587, 0.114))));
}

float4 PostFxaaPS(QuadVertex i) : COLOR0
{
    // The middle of this pixel, whatever the quad's offset.
    float2 uv = (floor(i.uv * float2(screenWidth, screenHeight)) + 0.5) * rcpFrame.xy;
    float4 middle = Sample(uv);
    float nw = Sample(uv + float2(-1.0, -1.0) * rcpFrameOpt.zw).a;
    float ne = Sample(uv + float2(1.0, -1.0) * rcpFrameOpt.zw).a;
    float sw = Sample(uv + float2(-1.0, 1.0) * rcpFrameOpt.zw).a;
    float se = Sample(uv + float2(1.0, 1.0) * rcpFrameOpt.zw).a;
    float lumaMin = min(middle.a, min(min(nw, ne), min(sw, se)));
    float lumaMax = max(middle.a, max(max(nw, ne), max(sw, se)));
    if (lumaMax - lumaMin < max(EDGE_THRESHOLD_MIN, lumaMax * EDGE_THRESHOLD))
        return middle;

    // Across the luminance gradient is along the edge.
    float2 direction = float2(-((nw + ne) - (sw + se)), (nw + sw) - (ne + se));
    float reduce = max((nw + ne + sw + se) * 0.25 * REDUCE_MUL, REDUCE_MIN);
    float scale = 1.0 / (min(abs(direction.x), abs(direction.y)) + reduce);
    float2 along = clamp(direction * scale, -SPAN_MAX, SPAN_MAX);

    // Near: a sixth of the span either way; wide: half of it (in two-pixel units).
    float2 nearStep = along * rcpFrame.xy * (1.0 / 6.0);
    float2 wideStep = along * rcpFrameOpt.xy * 0.25;
    float4 nearBlend = 0.5 * (Sample(uv - nearStep) + Sample(uv + nearStep));
    float4 wideBlend = 0.5 * nearBlend + 0.25 * (Sample(uv - wideStep) + Sample(uv + wideStep));
    // A wide blend that leaves the range crossed another edge: keep the near one.
    float4 result = (wideBlend.a < lumaMin || wideBlend.a > lumaMax) ? nearBlend : wideBlend;
    return float4(result.rgb, 1.0);
}

technique preFXAA
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 PreFxaaPS();
    }
}

technique postFXAA
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 PostFxaaPS();
    }
}

float4 TypoPS():COLOR0{return undefinedName++;} technique typo{pass p0{PixelShader=compile ps_2_0 TypoPS();}}
