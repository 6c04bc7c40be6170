sampler Many[15];
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Many[14], uv) + tex2D(PictureSampler, uv) * Tint; }
sampler OneTooMany;
float4 More(float2 uv : TEXCOORD0) : COLOR0 { return PS(uv) + tex2D(OneTooMany, uv); }
technique more { pass p { PixelShader = compile ps_3_0 More(); } }
