static int gCount = 3;
void Accumulate(inout float4 sum, in int k, out bool odd)
{
    odd = (k % 2) == 1;
    sum += odd ? Lights[k & 3] : -Lights[(uint)k >> 1];
}
half4 VS(float4 p : POSITION, int4 bones : BLENDINDICES) : POSITION
{
    return (half4)(p + bones * 0.001);
}
float4 PS() : COLOR0
{
    float4 sum = 0;
    bool odd = false;
    for (int k = 0; k < gCount; ++k) {
        Accumulate(sum, k, odd);
        if (odd)
            sum.x = -sum.x;
    }
    uint u = 7u;
    dword d = u ^ 5 | 8;
    bool2 b = bool2(true, u > d);
    return sum + (float)d + (b.y ? 1.0h : 0.5f);
}
