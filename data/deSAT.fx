// Checking a summed-area table by eye: "test" turns the table in "temptex"
// back into its texels, each the difference of the sums at its corners,
// S(x, y) - S(x - 1, y) - S(x, y - 1) + S(x - 1, y - 1), and shows the first
// channel as red and the second as green. Given a texture that is no table,
// it shows that texture's second differences: its edges.

float4x4 MatWorldViewProj;
float satRes = 512.0; // texels a side of the table
texture temptex;

sampler2D table = sampler_state {
    Texture = <temptex>;
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

// The sums up to a texel; zero before the first.
float2 Sum(float2 texel)
{
    if (texel.x < 0.0 || texel.y < 0.0)
        return 0.0;
    return tex2Dlod(table, float4((texel + 0.5) / satRes, 0.0, 0.0)).xy;
}

float4 DecodePS(QuadVertex i) : COLOR0
{
    float2 at = floor(i.uv * satRes);
    float2 value = Sum(at) - Sum(at - float2(1.0, 0.0)) - Sum(at - float2(0.0, 1.0)) + Sum(at - 1.0);
    return float4(saturate(value.x), saturate(value.y), 0.0, 1.0);
}

technique test
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 DecodePS();
    }
}
