float4 VS(float4 p : POSITION) : POSITION { float d[2][0] = { 1, 2 }; return mul(p, World); }
float4 PS() : COLOR0 { float2 r = modf(Tint.xy, Tint.zw) + frexp(Tint.xy, Lights[1].xy); return r.xyxy; }
