float4 VS(float4 p : POSITION) : POSITION { return mul(p, World); }
float4 PS() : COLOR0 { return Tint; }
