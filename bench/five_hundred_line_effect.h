#pragma once
// The effect source the effect benchmarks compile and load. Header only: each
// bench program includes it on its own.
#include <string>

// About 500 lines in the style of the scene effects: parameters of every kind,
// samplers, helper functions, and techniques of several passes, with a define.
inline std::string FiveHundredLineEffect()
{
    std::string s = "#define LIGHTS 4\n#define SATURATE(x) clamp((x), 0.0, 1.0)\n";
    for (int i = 0; i < 24; ++i) {
        std::string n = std::to_string(i);
        s += "float4x4 matrix" + n + " : WORLD" + n + ";\n";
        s += "float4 vector" + n + " < string UIName = \"vector " + n + "\"; > = float4(" + n + ", 1, 2, 3);\n";
        s += "float scalar" + n + " = " + n + ".5;\n";
        s += "texture texture" + n + ";\n";
        s += "sampler2D sampler" + n + " = sampler_state\n{\n    Texture = <texture" + n +
             ">;\n    MinFilter = Linear;\n    AddressU = Wrap;\n};\n";
    }
    s += "float4 shCoeffs[16];\nfloat4x4 lightMatrix[LIGHTS];\n";
    for (int i = 0; i < 16; ++i) {
        std::string n = std::to_string(i);
        s += "float4 Shade" + n + "(float2 uv : TEXCOORD0, float3 normal : TEXCOORD1) : COLOR0\n{\n";
        s += "    float4 c = tex2D(sampler" + n + ", uv) * vector" + n + ";\n";
        s += "#ifdef USE_HDR\n    c.rgb *= scalar" + n + ";\n#endif\n";
        s += "    for (int k = 0; k < LIGHTS; ++k) { c += mul(float4(normal, 0), lightMatrix[k]); }\n";
        s += "    return SATURATE(c);\n}\n";
    }
    for (int t = 0; t < 8; ++t) {
        s += "technique tech" + std::to_string(t) + "\n{\n";
        for (int p = 0; p < 2; ++p)
            s += "    pass p" + std::to_string(p) +
                 "\n    {\n        ZEnable = true;\n        CullMode = CCW;\n"
                 "        PixelShader = compile ps_2_0 Shade" +
                 std::to_string(t * 2 + p) + "();\n    }\n";
        s += "}\n";
    }
    return s;
}
