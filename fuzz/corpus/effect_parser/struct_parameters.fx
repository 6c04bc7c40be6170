struct Falloff { float range; int steps[2]; };
struct Light { float3 colour; bool on; Falloff falloff; float4x3 frame; };
typedef Light Lamp;
Light light = { float3(0.5, 0.25, 1), true, 4, 3, 2, (float4x3)0 };
Lamp lights[2];
const float4x4 WorldViewProj;
struct Io { float4 p : POSITION; float2 t : TEXCOORD0; };
Io VS(float4 p : POSITION, float2 t : TEXCOORD0) { Io o; o.p = mul(p, WorldViewProj); o.t = t; return o; }
float4 PS(Io i) : COLOR { return float4(light.colour * lights[1].frame[2].x, light.on) + lights[0].falloff.range; }
technique t {
    pass p {
        VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();
        FogEnable = (lights[1].on); FogEnd = (light.falloff.steps[1] * 2); AlphaRef = (light.falloff.steps[0]);
    }
}
