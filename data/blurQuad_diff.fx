// An edge-keeping blur of the shadow image ("bilaterial"): each pixel becomes
// the mean luminance of its 7 x 7 neighbours, weighted by their distance and
// by how near their luminance is to its own, so soft shadows smooth out while
// shadow edges against lit ground stay. Written as grey, for a one-channel
// target.

#define RADIUS 3
#define SPACE_FALLOFF 8.0
#define RANGE_FALLOFF 50.0

float4x4 MatWorldViewProj;
texture diffuse;

sampler2D image = sampler_state {
    Texture = <diffuse>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
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

float Luminance(float2 uv)
{
    return dot(tex2Dlod(image, float4(uv, 0.0, 0.0)).rgb, float3(0.299, 0.587, 0.114));
}

float4 BilateralPS(QuadVertex i) : COLOR0
{
    // One pixel of the image, as the quad's coordinates change across it.
    float2 texel = float2(abs(ddx(i.uv.x)), abs(ddy(i.uv.y)));
    float centre = Luminance(i.uv);
    float sum = 0.0;
    float weight = 0.0;
    for (int y = -RADIUS; y <= RADIUS; y++) {
        for (int x = -RADIUS; x <= RADIUS; x++) {
            float value = Luminance(i.uv + float2(x, y) * texel);
            float difference = value - centre;
            float w = exp(-(x * x + y * y) / SPACE_FALLOFF) * exp(-difference * difference * RANGE_FALLOFF);
            sum += value * w;
            weight += w;
        }
    }
    float grey = sum / weight;
    return float4(grey, grey, grey, 1.0);
}

technique bilaterial
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 BilateralPS();
    }
}
