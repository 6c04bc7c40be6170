float p = 1e38 * 10;
float Which = 0;
float Gains[3] = { 0.5, 1, 2 };
float3x3 Rotation = float3x3(1, 0, 0, 0, 1, 0, 0, 0, 1);
static const int Two = 2;
float Sum(int n) { float s = 0; for (int i = 1; i <= n; i++) { if (i > 10) break; s += i; } return s; }
float4 Kernel() { float4 k; for (int i = 0; i < 4; ++i) k[i] = exp(-i * i / 2.0); return k / dot(k, 1); }
float Pick(int i) { if (i == 0) return 10; else if (i == 1) { return 20; } return i > 5 ? 60 : 30; }
float4 V(float4 x : POSITION, uniform float k) : POSITION { return x * k; }
VertexShader vs[2] = { compile vs_3_0 V(1), compile vs_3_0 V(2) };
technique t < float total = Sum(4); float4 kernel = Kernel(); float picked = Pick(Two); > {
    pass a {
        LightEnable[1 + 1] = true; LightEnable[Two * 2 - 1] = (Gains[0] > 0.25);
        PointSize = <Gains[2]>; FogDensity = (Gains[Two]);
        TextureTransform[0] = Rotation; TextureTransform[1] = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);
        VertexShader = (vs[Which]);
    }
    pass b { VertexShader = (vs[p - p]); }
}
