// Samplers bound by register, in both forms, beside one a texture names; a
// shader model 2 pair whose colours are clamped and whose fog follows.
sampler ByRegister : register(s0);
sampler2D InProfile : register(ps_2_0, s2);
texture Named;
sampler2D FromEffect : register(s1) = sampler_state { Texture = <Named>; MinFilter = Point; };
float Fog;
float4 Colour;
struct VOut { float4 pos : POSITION; float4 colour : COLOR0; float fog : FOG; float2 uv : TEXCOORD0; };
VOut VS(float4 pos : POSITION, float2 uv : TEXCOORD0) { VOut o; o.pos = pos; o.colour = Colour; o.fog = Fog; o.uv = uv; return o; }
float4 PS(float4 colour : COLOR0, float2 uv : TEXCOORD0) : COLOR
{
    return colour * (tex2D(ByRegister, uv) + tex2D(InProfile, uv) + tex2D(FromEffect, uv));
}
technique t { pass p { FogEnable = true; FogTableMode = Linear; VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
technique fixedPixel { pass p { VertexShader = compile vs_1_1 VS(); } }
