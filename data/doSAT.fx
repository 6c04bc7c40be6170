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
// rasterizer would run two loops, one per pass, for every pixel, and a loop
// as many times as the neediest pixel of its group needs.

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
    // The same at every vertex: (atlasRes, 1 / atlasRes, passID). A pixel
    // reads it for less than the parameters cost it.
    nointerpolation float3 step : TEXCOORD1;
};

QuadVertex QuadVS(float3 position : POSITION, float2 uv : TEXCOORD0)
{
    QuadVertex o;
    // At depth 0 the quad passes any depth test of a target never cleared.
    o.position = float4(mul(float4(position, 1.0), MatWorldViewProj).xy, 0.0, 1.0);
    o.uv = uv;
    o.step = float3(atlasRes, 1.0 / atlasRes, passID);
    return o;
}

// The texel `at` of the source; `step` as the vertices give it.
float2 Texel(float2 at, float3 step)
{
    return tex2Dlod(source, float4((at + 0.5) * step.y, 0.0, 0.0)).xy;
}

// The texel this pixel writes.
float2 TexelOf(QuadVertex i)
{
    return floor(i.uv * i.step.x + 0.25);
}

float2 Occupancy(float2 texel)
{
    float cover = 1.0 - texel.y;
    return float2(texel.x * cover, cover);
}

// The value the other pixel of this one's pair holds. The pair is the two
// pixels of a quad side by side along `axis`, an even texel and an odd one; a
// fine derivative along the axis (one taken within the pair itself, not
// shared by the quad's two rows or columns) is the difference between their
// values: exact for the cover counts, within a rounding for the depth sums.
float2 Partner(float2 value, float position, float2 axis)
{
    float2 difference = axis.x > 0.5 ? ddx_fine(value) : ddy_fine(value);
    float step = axis.x > 0.5 ? ddx_fine(position) : ddy_fine(position);
    // The derivative is the second pixel's value less the first's.
    bool first = (fmod(position, 2.0) < 0.5) == (step > 0.0);
    return first ? value + difference : value - difference;
}

// The sum this texel writes along `axis`: in pass 0 the texels from its
// block's start up to it, in pass 1 the last texel of every block before its
// own in its tile, then itself. `convert`: the texels read are the atlas's.
//
// The two pixels of a pair share their reads, each reading every other one
// (the even pixel the even texels, the odd pixel the odd ones) and taking
// the other half from its partner: half the reads, and a loop that goes as
// long for both.
float2 Sums(float2 at, float2 axis, bool convert, float3 res)
{
    float position = dot(at, axis);
    float odd = fmod(position, 2.0);
    float tile = res.x * 0.5;
    float tileStart = floor(position / tile) * tile;
    float blockStart = floor(position / BLOCK) * BLOCK;
    bool carry = res.z > 0.5;
    // Pass 0: the texels of the block before the pair's even one, every
    // other one from this pixel's parity on; pass 1: the last texels of the
    // blocks before this one, every other block from this pixel's parity on
    // (the odd pixel's last read may lie past them: it counts nothing).
    float count = carry ? ceil((blockStart - tileStart) / (2.0 * BLOCK)) : (position - odd - blockStart) * 0.5;
    float first = carry ? tileStart + BLOCK - 1.0 + odd * BLOCK : blockStart + odd;
    float step = carry ? 2.0 * BLOCK : 2.0;
    float limit = carry ? blockStart : position;
    count = min(count, MAX_READS);
    float2 mine = 0.0;
    [loop] for (float i = 0.0; i < count; i += 1.0) {
        float p = first + i * step;
        bool counts = p < limit;
        float2 texel = Texel(at + axis * ((counts ? p : position) - position), res);
        float2 value = convert && !carry ? Occupancy(texel) : texel;
        mine += counts ? value : 0.0;
    }
    float2 own = Texel(at, res);
    own = convert && !carry ? Occupancy(own) : own;
    // Pass 0: the even pixel takes the odd one's reads before the odd texel,
    // the odd pixel the even one's reads and own texel. Pass 1: both share
    // the blocks' totals.
    float2 offer = carry || odd > 0.5 ? mine : mine + own;
    return mine + own + Partner(offer, position, axis);
}

float4 HorizontalPS(QuadVertex i) : COLOR0
{
    return float4(Sums(TexelOf(i), float2(1.0, 0.0), true, i.step), 0.0, 1.0);
}

float4 VerticalPS(QuadVertex i) : COLOR0
{
    return float4(Sums(TexelOf(i), float2(0.0, 1.0), false, i.step), 0.0, 1.0);
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
