// The shadow atlas's guard lines, drawn over the atlas after the four light
// tiles: the grid's points are atlas positions (-1..1, y up), not world
// positions, so no matrix touches them. Its three lines, through the middle
// of the atlas both ways and down its left edge, land on the first row and
// column of the tiles and mark those texels far and free (1, 1): a shadow
// filter reading up to a tile's edge never meets the neighbouring tile's
// caster, and the summed-area table needs no texel before the first.

struct GridVertex {
    float4 position : POSITION;
};

GridVertex GridVS(float3 position : POSITION)
{
    GridVertex o;
    o.position = float4(position.xy, 0.0, 1.0);
    return o;
}

float4 GridPS() : COLOR0
{
    return float4(1.0, 1.0, 1.0, 1.0);
}

technique diff
{
    pass p0
    {
        VertexShader = compile vs_3_0 GridVS();
        PixelShader = compile ps_3_0 GridPS();
    }
}
