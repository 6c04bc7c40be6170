float Distance = 5, Range = 10;
int Count = 3;
sampler S;
bool Near() { if (Distance < Range) return false; else return true; }
float4x3 View(float3 d) { float3 r = cross(float3(0, 1, 0), d); if (any(r)) r = normalize(r); else r = float3(1, 0, 0); return float4x3(r, d, cross(d, r), d); }
static float4x3 LightView = View(normalize(float3(Distance, 1, Range)));
float Steps(int n) { float s = 0; for (int i = 0; i < n; i++) s += 0.25; return s; }
static float Total = Steps(Count);
float Decode(float v) { return v * v; }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float2 a, b; float4(a, b) = ddx(float4(uv * 64, uv));
    return float4(Decode(tex2Dlod(S, float4(uv, 0, 0))), a.x + b.y, LightView[0].x, Total);
}
technique T { pass p { ZEnable = Near(); PixelShader = compile ps_3_0 PS(); } }
