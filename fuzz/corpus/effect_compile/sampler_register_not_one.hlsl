sampler Minus : register(ps_3_0, s-1);
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Minus, uv); }
