// One step of building a summed-area table of the screen image by recursive
// doubling: each texel adds the texel one step before it ("ver": one
// "pixelSizeY" up, "hor": one "pixelSizeX" to the left). Run again with the
// step doubled each time, log2(side) times per direction, into a float
// target, the steps leave every texel holding the sum of the luminance
// before it. The first step reads the colour image as luminance.

float4x4 MatWorldViewProj;
float4 pixelSizeX; // one texel along x, as (1 / width, 0, 0, 0)
float4 pixelSizeY; // one texel along y, as (0, 1 / height, 0, 0)
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

// This texel plus the one a step before it; nothing before the first.
float4 Step(float2 uv, float2 step)
{
    float sum = Luminance(uv);
    float2 before = uv - step;
    if (before.x >= 0.0 && before.y >= 0.0)
        sum += Luminance(before);
    return float4(sum, sum, sum, 1.0);
}

float4 VerticalPS(QuadVertex i) : COLOR0
{
    return Step(i.uv, pixelSizeY.xy);
}

float4 HorizontalPS(QuadVertex i) : COLOR0
{
    return Step(i.uv, pixelSizeX.xy);
}

technique ver
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 VerticalPS();
    }
}

technique hor
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 HorizontalPS();
    }
}
