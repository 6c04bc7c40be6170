String Title = "forms";
TEXTURE Tex;
Sampler S = Sampler_State { texture = <Tex>; };
float x = 1, xy = 2;
struct V { float4 pos : Sv_Position; float2 t[2] : TEXCOORD1; float2 c : TEXCOORD0_centroid; float fog : FOG; float size : PSIZE; };
float4 Get(texture t, sampler s, float2 uv) { return tex2D(s, uv); }
float4 Get(texture t, sampler s, float2 uv, float k) { return tex2D(s, uv) * k; }
float Sum(float2 v) { return v.x + v.y; }
V VS(float4 p : SV_POSITION, float2 uv : TEXCOORD0) { V o = (V)0; o.pos = p; o.t[0] = uv; o.t[1] = uv.yx; o.c = uv; return o; }
float4 PS(V i) : COLOR { return Get(Tex, S, i.t[0]) + Get(Tex, S, i.c, 2) + Sum(i.pos) + i.t[1].x; }
VertexShader Vs = Compile vs_3_0 VS();
technique T { pass p { VertexShader = (Vs); PIXELSHADER = COMPILE ps_3_0 PS(); } }
