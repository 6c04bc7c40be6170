static const float kHalf = 0.5;
float Luma(float3 c) { return doTlerp(c, Tint, kHalf);
}
void VS(in float1 p : POSITION, in float2 uv : TEXCOORD0, out float4 o : POSITION, out float2 ouv : TEXCOORD0)
{
    o = mul(p, World);
    ouv = uv;
}
float4 PS(float3 uv : TEXCOORD0, float2 screen : VPOS, float face : VFACE) : COLOR0
{
    return Sahde( u+v sc0p1 * face, true);
}
