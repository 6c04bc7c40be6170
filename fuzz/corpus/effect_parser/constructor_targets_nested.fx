float P;
float Nested() { float a = 0, b = 0, c = 0, d = 0; float4(float3(float2(a, b), c), d) = float4(1, 2, 3, 4); return a + b * 10 + c * 100 + d * 1000; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { float a, b, c, f; float2 e; float4(float3(float2(a, b), c), f) = uv.xyxy;
    float3(f, float2(e)) = float3(a, uv.yx); return float4(a, b + e.x, c, f); }
technique t { pass p { FogDensity = Nested(); PixelShader = compile ps_2_0 PS(); } }
