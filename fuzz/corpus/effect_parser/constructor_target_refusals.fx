float P;
float Short() { float2 a; float b; float4(a, b) = float4(1, 2, 3, 4); return a.x; }
float InnerShort() { float2 a; float b, c; float4(float2(a, b), c) = 1; return a.x; }
float Written() { float a; float4(a, P, a, a) = 1; return a; }
float OtherBase() { float a; int b; int2(b, a) = 1; return a; }
float Called() { float a, b; float3(a, abs(b), b) = 1; return a; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { float a; int i; float3(a, float2(a, a).x, a) = uv.xyx; int2(int(a), i) = 1; return a; }
technique t { pass p { FogDensity = Short(); FogStart = InnerShort(); FogEnd = Written(); PointSize = OtherBase(); }
              pass q { PointSizeMin = Called(); PixelShader = compile ps_2_0 PS(); } }
