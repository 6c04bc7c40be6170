int Kernel[3][3] = { {1, 2, 1}, {2, 4, 2}, {1, 2, 1}, };
float4 Rows[][2] = { {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1} };
float4 Tints[] = { {1, 0.5, 0.25, 1}, {0.25, 0.5, 1, 1} };
static const float Bayer[4][4] = { 0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5 };
static const float4x4 Grade = { 0.5, 0.25, 0, 0, 0, 0.5, 0.25, 0, 0.25, 0, 0.5, 0, 0.9, 0.9, 0.9, 1 };
float4 Lift = 0.0625.xxxx;
float4 Warm = mul(float3(0.25, 0.125, 0), Grade);
float Last(int n) { float m[2][2] = { {1, 2}, {3, 4} }; m[1][0] += 10; for (int i = 0; i < n; i++) m[i % 2][1] *= 2; return m[1][1] + i; }
static const float Corner = Bayer[3][0] + Last(3) + 1.xxx.y;
float4 PS(float2 uv : TEXCOORD0) : COLOR { return Tints[0] * Kernel[1][1] + Rows[1][1] + Lift + Corner; }
technique t < float b = Bayer[1][2]; > { pass p { AlphaRef = Kernel[2][1] * 10; PixelShader = compile ps_3_0 PS(); } }
