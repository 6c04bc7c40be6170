float4x4 M;
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float4x4 S = M; float3x3 s = (float3x3)M;
    S._11_22_33_44 = float4(uv, 1, 1); S._12_21 += uv; S._41_42_43 *= 2; S._m30_m31 <<= 1;
    s._m00_m10_m20 = lerp(s._m00_m10_m20, s._m01_m11_m21, uv.x);
    S. /* a comment */ _13_24 -= (S +
        S)._m01_m12; S._m00_11 = uv; float3 v = normalize(M._11_22_33) + S._11_22_33;
    return float4(v, 1);
}
