sampler First : register(s3);
sampler Second[2] : register(s2);
float4 VS(float4 p : POSITION) : POSITION { return p + tex2Dlod(First, p); }
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Second[1], uv) * Tint; }
