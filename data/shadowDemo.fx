// The shadow demonstration's scene effect: every material of
// data/shadowDemo.ids draws with it.
//
//   depth       a caster's depth from its light camera into its tile of the
//               shadow atlas: R the depth (0 near .. 1 far), G 0 where a caster
//               is (the tiles are cleared to 1, 1: far and free)
//   depthSelf   the self-shadowed caster's depth moments (z, z^2) into the
//               self-shadow map
//   drawShadow  the sun's visibility alone, as grey
//   diff        the lit surface: sky light from the sixteen spherical-harmonics
//               coefficients (the ground through its baked transfer textures)
//               plus the sun, shadowed by the atlas's summed-area table
//
// Soft shadows: the summed-area table of the atlas holds, per texel, the sums
// of (cover x depth, cover) over the rectangle from its tile's first texel,
// cover being 1 where a caster is. A box sum of it gives how much of the box
// casters cover and their mean depth, at any box size for the same cost. The
// mean depth of the casters around the receiver gives its distance to them;
// that distance times the light's size is the width of the penumbra, and the
// covered part of a box of that width is the shadow.
//
// Variants: USE_HDR scales the result by "exposure"; FOGAFFECTSALPHA lets fog
// fade the surface out instead of tinting it.

// Light k's tile is the (k mod 2, k div 2) quarter of the atlas; the start-up
// draws a one-texel free guard line at the first row and column of the tiles.
#define TILE_GUARD 1.0
// The widest shadow filter, in texels from the middle.
#define MAX_FILTER 48.0
// Distance (world units) within which a receiver counts as on its blockers.
#define CONTACT_BIAS 0.02
// The self-shadow map's side in texels.
#define SELF_MAP_SIZE 1024.0
// The jitter textures: a 64 x 64 tile over the screen, a 32^3 volume repeated
// four times per world unit.
#define JITTER_TILE 64.0
#define JITTER_VOLUME_SCALE 4.0
// The transfer textures store each term's part times this.
#define TRANSFER_SCALE 2.0
#define SUN_COLOUR float3(1.05, 0.98, 0.86)
#define SKY_COLOUR float3(0.62, 0.70, 0.88)
#define SKY_GAIN 2.5

// ---- Parameters ----

float4x4 MatWorldViewProj : WORLDVIEWPROJECTION;
float4x4 MatWorld : WORLD;
float4 PosCam;

float4 matColor = float4(0.7, 0.7, 0.7, 1.0);
float4 matSpecular = float4(0.3, 32.0, 0.0, 0.0); // strength, power
float objectID = -1.0;                           // caster 0..3; -1 the ground

float4 shCoeffs[16];
float4 lht = float4(-0.5, 0.7071068, 0.5, 0.0); // the light's axis, x and y turned over
float4x4 lightMatrix[4];
float4x4 lightMatrixSelf;
float4 casterRadius[4]; // 1 / the caster's diameter
float lightSize = 0.25;
float atlasRes = 512.0;

float4 FogColor;
float fogMult;
float exposure = 1.0;

texture shadowAtlas;
texture shadowAtlasLinear;
texture shadowAtlasSAT;
texture noisemap;
texture3D jittermap;
texture PRTn;
texture PRTp;
texture shadowSelf;

sampler2D atlasPoint = sampler_state {
    Texture = <shadowAtlas>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D atlasLinear = sampler_state {
    Texture = <shadowAtlasLinear>;
    MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D atlasTable = sampler_state {
    Texture = <shadowAtlasSAT>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D screenJitter = sampler_state {
    Texture = <noisemap>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = WRAP; AddressV = WRAP;
};
sampler3D worldJitter = sampler_state {
    Texture = <jittermap>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = WRAP; AddressV = WRAP; AddressW = WRAP;
};
sampler2D transferNegative = sampler_state {
    Texture = <PRTn>;
    MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D transferPositive = sampler_state {
    Texture = <PRTp>;
    MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D selfMoments = sampler_state {
    Texture = <shadowSelf>;
    MinFilter = LINEAR; MagFilter = LINEAR; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};

// ---- Vertex shaders ----

struct VertexIn {
    float3 position : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
};

struct DepthVertex {
    float4 position : POSITION;
    float depth : TEXCOORD0;
};

struct LitVertex {
    float4 position : POSITION;
    float4 world : TEXCOORD0;  // w: the texture coordinate's u
    float4 normal : TEXCOORD1; // w: the texture coordinate's v
    // The point in each light's tile, one tile a component: its texel (x, y)
    // and its depth. The light cameras are orthographic, so these are linear
    // over a triangle: interpolated they are exact, and no pixel transforms
    // the point four times. Likewise the point in the self-shadow map's clip
    // space.
    float4 centreX : TEXCOORD2;
    float4 centreY : TEXCOORD3;
    float4 depth : TEXCOORD4;
    float4 lightSelf : TEXCOORD6;
    // The tiles' own measures, one tile a component, the same at every vertex
    // (see TileMeasures): worked out once a vertex, read by a pixel for far
    // less than working them out.
    nointerpolation float4 searchX : TEXCOORD7;
    nointerpolation float4 searchY : TEXCOORD8;
    nointerpolation float4 spreadX : TEXCOORD9;
    nointerpolation float4 spreadY : TEXCOORD10;
    nointerpolation float4 contact : TEXCOORD11;
    // The rest of what a pixel needs of the parameters, the same at every
    // vertex but the sky light and the way to the camera: a pixel reads a
    // parameter of its own for far more than this costs it.
    float4 toEye : TEXCOORD12;   // xyz: to the camera; w: fog per unit of distance
    nointerpolation float4 toLight : TEXCOORD13; // xyz: to the sun (unit); w: the self-shadow map's depth per world unit
    float4 sky : TEXCOORD14;     // the ground: the weights of its transfer; elsewhere x: the sky light at the vertex
    nointerpolation float4 shine : TEXCOORD15;   // x, y: specular strength and power; z: the fog's strength
    nointerpolation float4 colour : COLOR0;      // the material's colour
    nointerpolation float4 fogColour : COLOR1;
};

DepthVertex DepthVS(VertexIn v)
{
    DepthVertex o;
    o.position = mul(float4(v.position, 1.0), MatWorldViewProj);
    o.depth = o.position.z / o.position.w;
    return o;
}

// ---- Shadows ----

// Light k's tile texels per world unit (x, y) and depth per world unit (z),
// from the light's own matrix.
float3 TileScale(int k)
{
    float4x4 m = lightMatrix[k];
    return float3(length(float3(m[0].x, m[1].x, m[2].x)) * (atlasRes * 0.5),
                  length(float3(m[0].y, m[1].y, m[2].y)) * (atlasRes * 0.5),
                  length(float3(m[0].z, m[1].z, m[2].z)));
}

// Light k's tile measures: the half side of the box searched for blockers,
// in texels (the casters within the widest penumbra this caster can throw);
// the penumbra box's half side per unit of depth between blocker and
// receiver; and the depth within which a receiver counts as on its blockers.
void TileMeasures(int k, out float2 search, out float2 spread, out float contact)
{
    float3 scale = TileScale(k);
    search = clamp(lightSize * 0.5 / casterRadius[k].x * scale.xy, 1.0, MAX_FILTER);
    spread = 0.5 * lightSize * scale.xy / scale.z;
    contact = CONTACT_BIAS * scale.z;
}

// Sky light reaching a surface of this normal from the sixteen coefficients:
// the cosine lobe's bands 0..2 (band 3 of a cosine lobe is zero), over pi.
// Directions enter the basis as (x, z, y), putting its pole straight up.
float SkyIrradiance(float3 n)
{
    float3 d = float3(n.x, n.z, n.y);
    float e = 0.2820948 * shCoeffs[0].x;
    e += (2.0 / 3.0) * 0.4886025 * (shCoeffs[2].x * d.z - shCoeffs[1].x * d.y - shCoeffs[3].x * d.x);
    e += 0.25 * (1.0925484 * (shCoeffs[4].x * d.x * d.y - shCoeffs[5].x * d.y * d.z - shCoeffs[7].x * d.x * d.z) +
                 0.3153916 * shCoeffs[6].x * (3.0 * d.z * d.z - 1.0) +
                 0.5462742 * shCoeffs[8].x * (d.x * d.x - d.y * d.y));
    return max(e, 0.0);
}

// Light k's tile's first texel in the atlas.
float2 TileLo(float k)
{
    return float2(fmod(k, 2.0), floor(k * 0.5)) * (atlasRes * 0.5);
}

LitVertex LitVS(VertexIn v)
{
    LitVertex o;
    o.position = mul(float4(v.position, 1.0), MatWorldViewProj);
    float3 world = mul(float4(v.position, 1.0), MatWorld).xyz;
    o.world = float4(world, v.uv.x);
    o.normal = float4(mul(float4(v.normal, 0.0), MatWorld).xyz, v.uv.y);
    [unroll] for (int t = 0; t < 4; t++) {
        float4 light = mul(float4(world, 1.0), lightMatrix[t]);
        float2 centre = TileLo(t) + light.xy / light.w * (atlasRes * 0.5) - 0.5;
        o.centreX[t] = centre.x;
        o.centreY[t] = centre.y;
        o.depth[t] = light.z / light.w;
    }
    o.lightSelf = mul(float4(world, 1.0), lightMatrixSelf);
    [unroll] for (int k = 0; k < 4; k++) {
        float2 search, spread;
        float contact;
        TileMeasures(k, search, spread, contact);
        o.searchX[k] = search.x;
        o.searchY[k] = search.y;
        o.spreadX[k] = spread.x;
        o.spreadY[k] = spread.y;
        o.contact[k] = contact;
    }
    o.toEye = float4(PosCam.xyz - world, fogMult * 0.0003);
    o.toLight = float4(normalize(float3(lht.x, lht.y, -lht.z)),
                       length(float3(lightMatrixSelf[0].z, lightMatrixSelf[1].z, lightMatrixSelf[2].z)));
    // The sky light varies slowly with the normal: worked out at the vertices.
    o.sky = objectID < -0.5 ? float4(shCoeffs[0].x, shCoeffs[1].x, shCoeffs[2].x, shCoeffs[3].x)
                            : float4(SkyIrradiance(normalize(o.normal.xyz)), 0.0, 0.0, 0.0);
    o.shine = float4(matSpecular.x, matSpecular.y, FogColor.a, 0.0);
    o.colour = matColor;
    o.fogColour = FogColor;
    return o;
}

// Sums of (cover x depth, cover) of a tile up to and including a texel.
float2 TableAt(float2 texel)
{
    return tex2Dlod(atlasTable, float4((texel + 0.5) * (1.0 / atlasRes), 0.0, 0.0)).xy;
}

// The sums over the texels from `first` to `last` (both included) that lie
// inside the tile starting at `tileLo`: texels beyond it hold no caster.
// `area` gets the texel count of the whole box, inside the tile or not.
float2 BoxSum(float2 first, float2 last, float2 tileLo, out float area)
{
    first = floor(first + 0.5);
    last = floor(last + 0.5);
    float2 size = last - first + 1.0;
    area = size.x * size.y;
    float2 lo = tileLo + TILE_GUARD;
    float2 hi = tileLo + atlasRes * 0.5 - 2.0;
    bool outside = any(last < lo) || any(first > hi);
    // A box beyond the tile reads its first texel: the same for every such
    // pixel, so the reads cost no memory.
    first = outside ? lo : max(first, lo);
    last = outside ? lo : min(last, hi);
    float2 before = first - 1.0;
    float2 sums = TableAt(last) - TableAt(float2(before.x, last.y)) - TableAt(float2(last.x, before.y)) + TableAt(before);
    return outside ? float2(0.0, 0.0) : sums;
}

// How much of the sun the tiles' casters let through to a pixel, 0..1.
//
// A CPU rasterizer runs every side of a branch for every pixel, and a loop
// as many times as the neediest pixel of its group needs, at least once. So
// the work is one loop of box sums with no branch inside, each step one box:
// a tile's blocker search, then, where it finds blockers far enough, the
// tile's penumbra box. A tile takes part only where the blocker search
// reaches into it: most of the screen is reached by no tile or one.
float TilesVisibility(LitVertex i, float jitter)
{
    float4 centreX = i.centreX, centreY = i.centreY, depth = i.depth, pending;
    [unroll] for (int k = 0; k < 4; k++) {
        float2 lo = TileLo(k);
        float2 centre = float2(centreX[k], centreY[k]);
        // The search box reaches the tile's texels (a caster finds no shadow
        // of its own in its tile).
        float2 search = float2(i.searchX[k], i.searchY[k]);
        float2 first = floor(centre - search + 0.5);
        float2 last = floor(centre + search + 0.5);
        bool reaches = all(last >= lo + TILE_GUARD) && all(first <= lo + atlasRes * 0.5 - 2.0);
        pending[k] = reaches && abs(k - objectID) > 0.5 ? 1.0 : 0.0;
    }

    // The tiles' first texels, one tile a component.
    float side = atlasRes * 0.5;
    float4 loX = float4(0.0, side, 0.0, side);
    float4 loY = float4(0.0, 0.0, side, side);
    float visible = 1.0;
    float penumbra = 0.0; // 1: the step is the pending tile's penumbra box
    float2 spread = 0.0;  // the penumbra box's half side once blockers are found
    [loop] while (dot(pending, 1.0) > 0.5) {
        // The first pending tile, as a one-hot selector: a component is
        // picked by a dot product, no chain of selects, no indexing.
        float4 tile = pending * float4(1.0, 1.0 - pending.x, (1.0 - pending.x) * (1.0 - pending.y),
                                       (1.0 - pending.x) * (1.0 - pending.y) * (1.0 - pending.z));
        float2 centre = float2(dot(centreX, tile), dot(centreY, tile));
        float2 half = penumbra > 0.5 ? spread : float2(dot(i.searchX, tile), dot(i.searchY, tile));
        float area;
        float2 sums = BoxSum(centre - half, centre + half, float2(dot(loX, tile), dot(loY, tile)), area);
        // A search: the mean depth of the blockers gives the distance to
        // them, and the penumbra's width follows that distance.
        float gap = sums.y < 0.5 ? 0.0 : dot(depth, tile) - sums.x / max(sums.y, 0.5);
        bool found = penumbra < 0.5 && gap > dot(i.contact, tile);
        float2 widening = float2(dot(i.spreadX, tile), dot(i.spreadY, tile));
        spread = found ? clamp(gap * widening + jitter, 0.5, MAX_FILTER) : spread;
        // A penumbra box: its covered part is the shadow.
        visible *= penumbra > 0.5 ? 1.0 - sums.y / area : 1.0;
        // The tile is done unless its penumbra box comes next.
        pending = found ? pending : pending - tile;
        penumbra = found ? 1.0 : 0.0;
    }
    return visible;
}

// The self-shadowed caster's own shadow, from the moments of its map at
// `light` (the point in the map's clip space); 1 when `wanted` is false.
float SelfVisibility(float4 light, float depthPerUnit, bool wanted)
{
    float2 uv = light.xy / light.w;
    float depth = light.z / light.w;
    bool inside = wanted && all(uv >= 0.0) && all(uv <= 1.0);
    // Nine taps where wanted, none elsewhere. A group of pixels none of which
    // wants any still runs the loop once: its taps read one texel, which
    // costs no memory.
    float taps = inside ? 9.0 : 0.0;
    uv = inside ? uv : 0.0;
    float2 moments = 0.0;
    [loop] for (float t = 0.0; t < taps; t += 1.0) {
        float2 offset = float2(fmod(t, 3.0), floor(t / 3.0)) - 1.0;
        moments += tex2Dlod(selfMoments, float4(uv + offset * (1.5 / SELF_MAP_SIZE), 0.0, 0.0)).xy;
    }
    moments /= 9.0;
    float bias = 0.03 * depthPerUnit;
    if (!inside || depth <= moments.x + bias)
        return 1.0;
    float floorVariance = 0.01 * depthPerUnit;
    float variance = max(moments.y - moments.x * moments.x, floorVariance * floorVariance);
    float d = depth - moments.x;
    float p = variance / (variance + d * d);
    // Chebyshev's bound lets light bleed where casters overlap: cut its tail.
    return saturate((p - 0.3) / 0.7);
}

// The sun's visibility at a world point of this material's object.
float SunVisibility(LitVertex i, float2 screen)
{
    float jitter = tex2D(screenJitter, screen / JITTER_TILE).r +
                   tex3D(worldJitter, i.world.xyz * JITTER_VOLUME_SCALE).r - 1.0;
    return TilesVisibility(i, jitter * 0.5) * SelfVisibility(i.lightSelf, i.toLight.w, abs(objectID - 3.0) < 0.5);
}

// ---- Light ----

// The ground's sky light through its baked transfer: bands 0 and 1, with the
// casters' occlusion in them.
float GroundSky(float2 uv, float4 weights)
{
    // Every pixel reads the transfer; off the ground it reads one texel.
    uv = objectID < -0.5 ? uv : 0.0;
    float4 transfer = (tex2D(transferPositive, uv) - tex2D(transferNegative, uv)) * (1.0 / TRANSFER_SCALE);
    return max(dot(transfer, weights), 0.0);
}

// ---- Pixel shaders ----

float4 DepthPS(DepthVertex i) : COLOR0
{
    return float4(i.depth, 0.0, 0.0, 1.0);
}

float4 DepthSelfPS(DepthVertex i) : COLOR0
{
    return float4(i.depth, i.depth * i.depth, 0.0, 1.0);
}

float4 ShadowPS(LitVertex i, float2 screen : VPOS) : COLOR0
{
    float visible = SunVisibility(i, screen);
    return float4(visible, visible, visible, 1.0);
}

float4 LitPS(LitVertex i, float2 screen : VPOS) : COLOR0
{
    float3 n = normalize(i.normal.xyz);
    float3 toLight = i.toLight.xyz;
    float3 toEye = normalize(i.toEye.xyz);
    float visible = SunVisibility(i, screen);

    float sky = objectID < -0.5 ? GroundSky(float2(i.world.w, i.normal.w), i.sky) : i.sky.x;
    float sun = saturate(dot(n, toLight)) * visible;
    float3 halfway = normalize(toLight + toEye);
    float shine = sun > 0.0 ? i.shine.x * pow(saturate(dot(n, halfway)), i.shine.y) * visible : 0.0;
    float3 colour = i.colour.rgb * (SKY_GAIN * sky * SKY_COLOUR + sun * SUN_COLOUR) + shine * SUN_COLOUR;
    float alpha = i.colour.a;

    // Fog from a fog light: its colour's alpha switches it on.
    float fog = saturate(1.0 - exp(-length(i.toEye.xyz) * i.toEye.w)) * i.shine.z;
#ifdef FOGAFFECTSALPHA
    alpha *= 1.0 - fog;
#else
    colour = lerp(colour, i.fogColour.rgb, fog);
#endif
#ifdef USE_HDR
    colour *= exposure;
#endif
    return float4(colour, alpha);
}

// ---- Techniques: the render passes draw by these names ----

technique depth
{
    pass p0
    {
        VertexShader = compile vs_3_0 DepthVS();
        PixelShader = compile ps_3_0 DepthPS();
    }
}

technique depthSelf
{
    pass p0
    {
        VertexShader = compile vs_3_0 DepthVS();
        PixelShader = compile ps_3_0 DepthSelfPS();
    }
}

technique drawShadow
{
    pass p0
    {
        VertexShader = compile vs_3_0 LitVS();
        PixelShader = compile ps_3_0 ShadowPS();
    }
}

technique diff
{
    pass p0
    {
        VertexShader = compile vs_3_0 LitVS();
        PixelShader = compile ps_3_0 LitPS();
    }
}
