sampler Array[4] : register(s14);
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Array[3], uv); }
