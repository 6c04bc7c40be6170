static float4 q[2] = {1, 2, 3, 4, 5, 6, 7, 8};
float F(float4 v) { float2 a, b; float4(a, b) = v; float1 f = 1; f.x *= 2; return a.x + b.y + f;}
float G(float4 v) { float s = 0; for (int i = 0; i < 4; i++) s += v[i]; return s * i + 1.xxx.y + 3.xx/2; }
float H(float4 v) { int a[4] = (int[4])v; float2 b[2] = (float2[2])v; return a[0] + b[1].y; }
float K(float4 v) { float4(a,b)=v;x=(int[2])a;for(int j=0;j<2;j++){}return j+1.xx.x; }
float L(float4 v) { float a, b; float2(a, b) = v.xy;a += 1; int c[2] = (int[
2])v.xy; int d[2] = (int[2])
    v.zw; return a + c[1] + d[0]; }
