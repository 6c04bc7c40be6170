static float k = sqrt(-1) * Tint.x;
static float j = Tint.y > 0 ? 1 : 0.0 / 0;
float4 VS(float4 p : POSITION) : POSITION { return mul(p, World) * k; }
float4 PS() : COLOR0 { return Tint * j; }
