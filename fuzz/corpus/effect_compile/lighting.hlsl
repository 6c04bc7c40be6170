struct VIn { float4 pos : POSITION; float3 normal : NORMAL; float2 uv : TEXCOORD0; };
struct VOut { float4 pos : POSITION; float3 normal : TEXCOORD1; float2 uv : TEXCOORD0; };
VOut VS(VIn v)
{
    VOut o;
    o.pos = mul(v.pos, World);
    o.normal = normalize(mul(v.normal, (float3x3)World));
    o.uv = v.uv;
    return o;
}
float4 PS(VOut i) : COLOR0
{
    float3 n = normalize(i.normal);
    float3 l = normalize(float3(0.3, 0.8, -0.5));
    float3 r = reflect(-l, n);
    float diffuse = max(dot(n, l), 0);
    float specular = pow(saturate(dot(r, float3(0, 0, 1))), 16);
    float4 c = tex2D(PictureSampler, i.uv) * Tint;
    return float4(c.rgb * diffuse + specular, c.a);
}
