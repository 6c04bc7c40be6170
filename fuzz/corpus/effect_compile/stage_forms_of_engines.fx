static const int N = 1;
typedef half4 color4;
typedef float2 coord;
struct App { float4 p : POSITION; coord uv : TEXCOORD0; float3 n : NORMAL; float3 t : TANGENT; float3 b : BINORMAL; float4 c0 : COLOR0; float4 c1 : COLOR1; float4 w : BLENDWEIGHT; float4 i : BLENDINDICES; float2 u1 : TEXCOORD1; float2 u2 : TEXCOORD2; float2 u3 : TEXCOORD3; float2 u4 : TEXCOORD4; float2 u5 : TEXCOORD5; float2 u6 : TEXCOORD6; float2 u7 : TEXCOORD7; float s : PSIZE; };
struct V { float4 pos : POSITION; coord uv : TEXCOORD0; float4 v[3*N] : TEXCOORD2; float1 fog : FOG; };
typedef V Out;
Out VS(App a) { Out o; o.pos = a.p; o.uv = a.uv; o.v[0] = 0.25; o.v[1] = 0.5; o.v[2] = 0.75; o.fog.x = saturate(a.p.z); return o; }
color4 PS(V i) : COLOR { float1 k = 1; k.r *= 0.5; return i.v[0] + i.v[2 * N] * i.fog + k; }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
technique Fixed { pass p { VertexShader = 0; PixelShader = 0; FVF = XYZ | NORMAL | TEX1; Lighting = true; } }
