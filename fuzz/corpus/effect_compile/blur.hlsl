static const float kWeights[5] = { 0.06, 0.24, 0.4, 0.24, 0.06 };
static const float2 kOffsets[5] = { float2(-2, 0), float2(-1, 0), float2(0, 0), float2(1, 0), float2(2, 0) };
float4 VS(float4 p : POSITION, inout float2 uv : TEXCOORD0) : POSITION { return p; }
float4 PS(float2 uv : TEXCOORD0) : COLOR
{
    float4 sum = 0;
    [unroll] for (int i = 0; i < 5; i++)
        sum += tex2D(PictureSampler, uv + kOffsets[i] / 512.0) * kWeights[i];
    int n = 0;
    while (sum.a > 0.5 && n < 3) { sum.a *= 0.5; n++; }
    do { sum.rgb -= 0.01; if (sum.r < 0) break; else continue; } while (false);
    return sum;
}
