float G;
float H(float a) { a = 1; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { G = uv.x; float a = 1 return H(a) * G; }
technique T { pass p { PixelShader = compile ps_2_0 PS(); } }
