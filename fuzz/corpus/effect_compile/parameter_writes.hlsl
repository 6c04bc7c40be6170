void Set(inout float v) { v = 1; }
void Fill(out float4 v) { v = 0; }
void Whole(inout int v) { v = 2; }
float4 VS(float4 p : POSITION) : POSITION { float a; float4(a, Tint.y, Lights[2], a) = p; Fill(World[1]); return p; }
float4 PS() : COLOR0 { float s; Set(Lights[1]); sincos(Tint.x, s, Lights[0]); Whole(Tint.w); return Tint; }
