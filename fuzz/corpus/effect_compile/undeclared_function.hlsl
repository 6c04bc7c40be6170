float4 VS(float4 p : POSITION) : POSITION { return mul(p, World); }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return Missing(uv) + lerp(Tint, uv); }
