void h3(inout float3 v) { v = v * 0.5 + 0.25; }
float4 VS(float4 p : POSITION) : POSITION { float4x4 S = World; S._11_22_33_44 = float4(Tint.xyz, 1); S._12_21 += p.xy;
    h3(S._31_22_13); return mul(p, S) + mul(S, World)._m01_m12_m10_m10 + World. /* */ _11_22_33_44; }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { float3x3 s = (float3x3)World;
    s._m00_m10_m20 = lerp(s._m00_m10_m20, s._m01_m11_m21, uv.x); s._31_32 *= 2;
    return float4(float3x3(s._11_22_33, s._m01_m12_m20, 1, 1, 1)._12_21_33, 1) + float2x2(1, 2, 3, 4)._m00_m11.xyxy; }
