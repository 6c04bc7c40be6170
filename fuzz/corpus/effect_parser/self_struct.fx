struct S { S s : TEXCOORD0; };
float4 PS(S i) : COLOR0 { return 0; }
technique t { pass p { PixelShader = compile ps_2_0 PS(); } }
