sampler Array[4];
sampler After;
sampler2D Pair[2] : register(s5);
float4 VS(float4 p : POSITION) : POSITION { return mul(p, World); }
float4 PS(float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(Array[1], uv) + tex2D(After, uv) + tex2D(Pair[1], uv) + tex2D(PictureSampler, uv);
}
