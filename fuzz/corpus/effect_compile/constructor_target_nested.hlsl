float4 VS(float4 p : POSITION) : POSITION { float a = 0, b = 0, c = 0; float4(float2(a, b), c, a) = p; return float4(a, b, c, 1); }
float F(float x) { return x; }
float4 PS() : COLOR0 { float a = 0, b = 0; float3(a, F(b), b) = Tint.xyz; float4(a.xx, b, float2(a, b).y) = 1; return a; }
