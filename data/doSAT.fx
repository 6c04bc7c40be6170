// The summed-area tables of the shadow atlas's four tiles, in four passes
// over the whole atlas: "hor" with "passID" 0 then 1, "ver" with "passID" 0
// then 1.
//
// Pass 0 of a direction sums every texel with the texels before it in its
// block of BLOCK texels along the direction; pass 1 adds the totals of the
// blocks before it in its tile (the last texel of each). "hor" pass 0 reads
// the atlas itself and turns each texel (depth, free) into what the tables
// sum: (cover x depth, cover), cover = 1 - free, so the sums count only
// casters and stay small. After "ver" pass 1 every texel holds the sums over
// the rectangle from its tile's first texel to it, both included: a box sum
// reads the four corners of a box inside one tile, whose first row and column
// (the guard lines) hold no caster.
//
// Both passes are one loop of texel reads, as long as the texel needs: a CPU
// rasterizer would run two loops, one per pass, for every pixel.

#define BLOCK 16
// Reads a texel makes at most (a tile of up to 1024 texels a side).
#define MAX_READS 64.0

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

// The sum this texel writes along `axis`: in pass 0 the texels from its
// block's start up to it, in pass 1 the last texel of every block before its
// own in its tile, then itself. `convert`: the texels read are the atlas's.
float2 Sums(float2 at, float2 axis, bool convert)
{
    float position = dot(at, axis);
    float tile = atlasRes * 0.5;
    float tileStart = floor(position / tile) * tile;
    float blockStart = floor(position / BLOCK) * BLOCK;
    bool carry = passID > 0.5;
    float first = carry ? tileStart + BLOCK - 1.0 : blockStart;
    float step = carry ? BLOCK : 1.0;
    float count = min(carry ? (blockStart - tileStart) / BLOCK + 1.0 : position - blockStart + 1.0, MAX_READS);
    float2 sum = 0.0;
    [loop] for (float i = 0.0; i < count; i += 1.0) {
        // The last read is the texel itself.
        float p = min(first + i * step, position);
        float2 texel = Texel(at + axis * (p - position));
        sum += convert && !carry ? Occupancy(texel) : texel;
    }
    return sum;
}

float4 HorizontalPS(QuadVertex i) : COLOR0
{
    float2 at = TexelOf(i.uv);
    return float4(Sums(at, float2(1.0, 0.0), true), 0.0, 1.0);
}

float4 VerticalPS(QuadVertex i) : COLOR0
{
    float2 at = TexelOf(i.uv);
    return float4(Sums(at, float2(0.0, 1.0), false), 0.0, 1.0);
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
