static static static static static static static float a, a, a, b, b, c;
float4 PS() : COLOR { return a; }
technique t { pass p { PixelShader = compile ps_3_0 PS(); } }
