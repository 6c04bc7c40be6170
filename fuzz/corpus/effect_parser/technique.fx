texture t;
sampler2D s = sampler_state { Texture = <t>; MinFilter = Linear; };
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv); }
technique post < string a = "b"; > { pass p0 { ZEnable = false; PixelShader = compile ps_2_0 PS(); } pass { CullMode = None; } }
