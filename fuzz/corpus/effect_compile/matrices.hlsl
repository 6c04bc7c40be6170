float4 VS(float4 p : POSITION, float3 n : NORMAL, float4 w : BLENDWEIGHT, out float3 on : TEXCOORD2) : POSITION
{
    float4x4 m = transpose(World);
    matrix<float, 3, 3> r = (float3x3)m;
    row_major float2x2 s = { 1, 0, 0, 1 };
    on = mul(r, n) * (determinant(m) != 0 ? m._11 : m[0][1]);
    vector<float, 4> q = mul(World, p) + w * mul(s, n.xy).xyxy;
    return q.wzyx.abgr;
}
float4 PS(float3 n : TEXCOORD2) : COLOR0
{
    float3x4 k = float3x4(n, 1, n.zyx, 0, 0.5.xxxx);
    return float4(mul(k, float4(n, 1)), 1);
}
