float4 VS(float4 p : POSITION, float4 c : COLOR0, out float4 oc : COLOR0, out float f : FOG) : POSITION
{
    oc = c;
    f = length(p.xyz) / distance(p.xyz, float3(1, 2, 3));
    return p;
}
float4 PS(float4 c : COLOR0, float f : FOG, float2 v : VPOS) : COLOR0
{
    float2 uv = frac(v / 64.0);
    clip(c.a - 0.1);
    float4 t = tex2Dlod(PictureSampler, float4(uv, 0, 1)) + tex2Dbias(PictureSampler, float4(uv, 0, -1)) +
               tex2Dproj(PictureSampler, float4(uv, 0, 2)) + tex2Dgrad(PictureSampler, uv, ddx(uv), ddy(uv));
    float a = abs(sin(f)) + cos(f) * tan(0.5) + atan2(uv.y, uv.x) + exp(-f) + exp2(1.5) + log(2) + log2(8);
    float b = sqrt(a) * rsqrt(a + 1) + fmod(a, 0.3) + floor(a) + ceil(a) + round(a) + sign(-a);
    float3 x = cross(normalize(c.xyz + 0.1), float3(0, 1, 0));
    float s = step(0.5, a) + smoothstep(0, 1, b) + clamp(b, 0, 1) + min(a, b) + max(a, b);
    return any(x) && !all(x) ? lerp(t, c, s * 0.1) : t * s;
}
