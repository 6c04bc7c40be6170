// The summed-area table of the shadow atlas, in four passes over the whole
// atlas: "hor" with "passID" 0 then 1, "ver" with "passID" 0 then 1.
//
// Pass 0 of a direction sums every texel with the texels before it in its
// block of BLOCK texels along the direction; pass 1 adds the totals of the
// blocks before (the last texel of each). "hor" pass 0 reads the atlas itself
// and turns each texel (depth, free) into what the table sums: (cover x depth,
// cover), cover = 1 - free, so the sums count only casters and stay small.
// After "ver" pass 1 every texel holds the sums over the rectangle from the
// atlas's first texel to it, both included.

#define BLOCK 32
#define MAX_BLOCKS 64

float4x4 MatWorldViewProj;
float passID;
float atlasRes = 512.0;
texture temptex;

sampler2D source = sampler_state {
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
    // At depth 0 the quad passes any depth test of a target never cleared.
    o.position = float4(mul(float4(position, 1.0), MatWorldViewProj).xy, 0.0, 1.0);
    o.uv = uv;
    return o;
}

float2 Texel(float2 at)
{
    return tex2Dlod(source, float4((at + 0.5) / atlasRes, 0.0, 0.0)).xy;
}

// The texel this pixel writes.
float2 TexelOf(float2 uv)
{
    return floor(uv * atlasRes + 0.25);
}

float2 Occupancy(float2 texel)
{
    float cover = 1.0 - texel.y;
    return float2(texel.x * cover, cover);
}

// Pass 0: the sum from the start of the block up to this texel.
float2 BlockPrefix(float2 at, float2 axis, float convert)
{
    float position = dot(at, axis);
    float start = floor(position / BLOCK) * BLOCK;
    float2 sum = 0.0;
    for (int i = 0; i < BLOCK; i++) {
        float p = start + i;
        if (p > position)
            break;
        float2 texel = Texel(at + axis * (p - position));
        sum += convert > 0.5 ? Occupancy(texel) : texel;
    }
    return sum;
}

// Pass 1: this texel plus the last texel of every block before its own.
float2 BlockCarry(float2 at, float2 axis)
{
    float position = dot(at, axis);
    float start = floor(position / BLOCK) * BLOCK;
    float2 sum = Texel(at);
    for (int b = 0; b < MAX_BLOCKS; b++) {
        float end = b * BLOCK + BLOCK - 1;
        if (end >= start)
            break;
        sum += Texel(at + axis * (end - position));
    }
    return sum;
}

float4 HorizontalPS(QuadVertex i) : COLOR0
{
    float2 at = TexelOf(i.uv);
    float2 sum = passID < 0.5 ? BlockPrefix(at, float2(1.0, 0.0), 1.0) : BlockCarry(at, float2(1.0, 0.0));
    return float4(sum, 0.0, 1.0);
}

float4 VerticalPS(QuadVertex i) : COLOR0
{
    float2 at = TexelOf(i.uv);
    float2 sum = passID < 0.5 ? BlockPrefix(at, float2(0.0, 1.0), 0.0) : BlockCarry(at, float2(0.0, 1.0));
    return float4(sum, 0.0, 1.0);
}

technique hor
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 HorizontalPS();
    }
}

technique ver
{
    pass p0
    {
        VertexShader = compile vs_3_0 QuadVS();
        PixelShader = compile ps_3_0 VerticalPS();
    }
}
