float P;
float4 Q[2];
void Set(inout float v) { v = 1; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { float a; float4(a, Q[1].x, a, P) = 1; Set(P); sincos(uv.x, a, Q[0].y); return P; }
technique t { pass p { PixelShader = compile ps_2_0 PS(); } }
