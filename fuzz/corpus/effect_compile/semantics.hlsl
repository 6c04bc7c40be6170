struct VOut { float4 pos : POSITION; float4 tint : COLOR2; float4x4 frame : NORMAL2; };
VOut VS(float4 p : POSITION0, float4 q : POSITION1, float4 w : BLENDWEIGHT1, float4 c : COLOR2, float4x4 m : TANGENT)
{
    VOut o;
    o.pos = mul(p + q * w.x, m);
    o.tint = c;
    o.frame = m;
    return o;
}
float4 PS(float4 none : TEXCOORD0, float4 tint : COLOR2, float3x4 frame : NORMAL2) : COLOR0
{
    return none + tint * frame[2];
}
