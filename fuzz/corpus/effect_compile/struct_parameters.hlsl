struct Falloff { float range; float2 centre; int steps[2]; };
struct Light { float3 colour; bool on; Falloff falloff[2]; float2x2 squash; row_major float3x2 turn; };
Light light = { float3(1, 0.5, 0.25), true, 0.5, 0.25, 0.75, 1, 2, 1, 0.5, 0.5, 3, 4, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0 };
Light lights[2];
const float Gain = 2;
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0) { VOut o; o.pos = mul(p, World); o.uv = mul(uv, lights[1].squash); return o; }
float4 PS(VOut i) : COLOR0
{
    float2 d = mul(i.uv - light.falloff[1].centre, light.squash);
    float inside = saturate(1 - length(d) / light.falloff[1].range) * light.falloff[0].steps[1];
    return float4(light.on ? light.colour * inside * Gain : lights[0].colour, 1) + mul(lights[1].turn, d).x;
}
