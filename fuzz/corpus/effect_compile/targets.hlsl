struct VOut
{
    float4 pos : POSITION;
    float4 colour : COLOR0;
    float4 extra : COLOR1;
    float3 uvw : TEXCOORD3;
    float size : PSIZE;
};
VOut VS(float4 p : POSITION, float4 c : COLOR0, float3 uvw : TEXCOORD3)
{
    VOut o = (VOut)0;
    o.pos = p;
    o.colour = c;
    o.extra = c.bgra;
    o.uvw = uvw;
    o.size = 2;
    return o;
}
struct POut { float4 c0 : COLOR0; float4 c1 : COLOR1; float depth : DEPTH; };
POut PS(VOut i, float face : VFACE)
{
    POut o;
    o.c0 = face > 0 ? i.colour : i.extra;
    o.c1 = float4(i.uvw, 1);
    o.depth = i.uvw.z;
    return o;
}
