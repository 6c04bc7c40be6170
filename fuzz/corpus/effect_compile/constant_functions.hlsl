static const float4 Table[3] = { 0.25, 0.5, 0.75, 1,   0, 0.125, 0.25, 0.375,   1, 1, 1, 1 };
float Eighths(int n) { float s = 0; [unroll] for (int i = 0; i < n; i++) { if (i == 2) continue; s += 0.125; } return s; }
float3x3 Diagonal(float3 d) { float3x3 m = 0; for (int i = 0; i < 3; ++i) m[i][i] = d[i]; return m; }
int Bits(uint v) { int n = 0; while (v != 0) { n += v & 1; v >>= 1; } return n; }
float Weight = Eighths(5);
static const float Quarter = Eighths(3) * Table[0].x * 4;
static const float3x3 Scale = Diagonal(float3(1, 2, 3));
static const int Count = Bits(0xF0u);
float4 VS(float4 p : POSITION) : POSITION { return mul(p, World) * Quarter; }
float4 PS() : COLOR0
{
    float2 local[2] = { 0.25, 0.5, 0.75, 1 };
    float4 v = Tint;
    v.zx = local[1];
    do { v.y += 0.125; } while (v.y < 0.5);
    return v * Weight + Table[Count % 3] + mul(float3(1, 1, 1), Scale).xyzz;
}
