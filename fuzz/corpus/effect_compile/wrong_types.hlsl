struct S { float4 v : COLOR0; };
float4 VS(float4 p : POSITION) : POSITION { S s; s.v = p; return s; }
float4 PS(float4 c : COLOR0) : COLOR0 { float2x2 m = c; sampler2D t = PictureSampler; return m + t; }
