float P;
float Nested() { float a = 0, b = 0, c = 0; float4(float2(a, b), c, a) = float4(1, 2, 3, 4); return a; }
float Short() { float2 a; float b; float4(a, b) = float4(1, 2, 3, 4); return a.x; }
float Written() { float a; float4(a, P, a, a) = 1; return a; }
float NotANumber() { return sqrt(-1) * P; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { float a; float3(a, float2(a, a).x, a) = uv.xyx; return a; }
technique t { pass p { FogDensity = Nested(); FogStart = Short(); FogEnd = Written(); PointSize = NotANumber(); }
              pass q { PixelShader = compile ps_2_0 PS(); } }
