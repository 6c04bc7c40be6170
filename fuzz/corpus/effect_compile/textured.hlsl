struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 colour : COLOR0; };
VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0, float4 c : COLOR0)
{
    VOut o;
    o.pos = mul(p, World);
    o.uv = uv;
    o.colour = c * Tint;
    return o;
}
float4 PS(float2 uv : TEXCOORD0, float4 c : COLOR0) : COLOR0
{
    float4 t = tex2D(PictureSampler, uv);
    for (int k = 0; k < 4; ++k)
        t.rgb += Lights[k] * 0.25;
    return saturate(t * c);
}
