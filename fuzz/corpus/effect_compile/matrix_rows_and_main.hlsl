float4x4 World;
float4x4 Tint;
float4 VS(float4 p : POSITION, inout float2 uv : TEXCOORD0) : POSITION
{
    float4x4 m = World;
    m._41_42_43 *= 2;
    return float4(p.xyz + m._41_42_43 + normalize(World._31_32_33) + World._m20_m21_m22, 1);
}
float4 main(float2 uv : TEXCOORD0) : COLOR0 { return float4(Tint._11_22_33 + ((float2x2)Tint)._11_22.xyx * uv.x, 1); }
technique T { pass P { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 main(); } }
