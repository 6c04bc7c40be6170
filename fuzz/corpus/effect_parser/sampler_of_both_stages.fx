sampler X;
sampler Y;
float4 VS(float4 p : POSITION) : POSITION { return p + tex2Dlod(X, float4(p.xy, 0, 0)); }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Y, uv) * tex2D(X, uv); }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
