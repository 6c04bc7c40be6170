struct Pair { float a; float2 b; };
float Twice(float x) { return x * 2; }
float2 Halves(float2 v) { return v * 0.5; }
static float K = Twice(Tint.r);
static float J = K / 16;
static float L[] = { Twice(Tint.g) / 8, 1 };
static const float3 M =
    Tint.rgb *
        Twice(0.5);
static Pair Q = { Twice(Tint.b), Halves(Tint.xy) };
float4 VS(float4 p : POSITION) : POSITION { return p * K; }
float4 PS() : COLOR { return float4(J, L[0], M.b * Q.b.y, Q.a); }
