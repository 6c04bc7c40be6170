// Samplers bound by register, in both forms, and one past the last.
sampler ByRegister : register(s0);
sampler2D InProfile : register(ps_3_0, s2);
sampler2D Nested : register((s3));
texture Named;
sampler2D FromEffect : register(s1) = sampler_state { Texture = <Named>; MinFilter = Point; };
float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(ByRegister, uv) + tex2D(InProfile, uv) + tex2D(FromEffect, uv); }
technique t { pass p { PixelShader = compile ps_2_0 PS(); } }
sampler TooFar : register(s16);
