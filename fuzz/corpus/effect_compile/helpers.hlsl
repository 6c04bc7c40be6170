static const float kHalf = 0.5;
float Luma(float3 c) { return dot(c, float3(0.299, 0.587, 0.114)); }
float4 Shade(float2 uv, uniform bool grey)
{
    float4 c = tex2D(PictureSampler, uv);
    if (grey)
        c.rgb = Luma(c.rgb);
    return lerp(c, Tint, kHalf);
}
void VS(in float4 p : POSITION, in float2 uv : TEXCOORD0, out float4 o : POSITION, out float2 ouv : TEXCOORD0)
{
    o = mul(p, World);
    ouv = uv;
}
float4 PS(float2 uv : TEXCOORD0, float2 screen : VPOS, float face : VFACE) : COLOR0
{
    return Shade(uv + screen * 0.001 * face, true);
}
