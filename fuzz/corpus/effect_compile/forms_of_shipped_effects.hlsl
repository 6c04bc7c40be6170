static const float Bayer[4][4] = { 0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5 };
float4 VS(float4 p : POSITION, out float2 uv : TEXCOORD0) : POSITION
{
    uv = mul(p.xyz, World).xy + 1.xx * 0.0.x;
    return mul(float4(p.xyz, 1), World);
}
float4 PS(float2 uv : TEXCOORD0) : COLOR0
{
    int K[3][3] = { {1, 2, 1}, {2, 4, 2}, {1, 2, 1}, };
    float4 sum = 0;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            sum += tex2D(PictureSampler, uv + float2(x, y) * 0.01) * K[y][x] / 16.0;
    for (int i = 0; i < 4; i++)
        if (sum[i] > 0.5) break;
    float found = i;
    [unroll] for (int i = 0; i < 2; i++) { found += Lights[i]; }
    int2 p = int2(uv * 64) % 4;
    return sum * Tint + Bayer[p.y][p.x] / 16.0 + found * 0.25.xxxx + i;
}
