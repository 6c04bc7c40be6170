// Passes that compile the same shaders share one program, kept once in the file.
float4 Tint;
float4 V(float4 p : POSITION) : POSITION { return p * Tint; }
float4 P() : COLOR0 { return Tint; }
technique t {
    pass p0 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p1 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p2 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p3 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p4 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p5 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p6 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p7 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p8 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p9 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p10 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p11 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p12 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p13 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p14 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p15 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p16 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p17 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p18 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p19 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p20 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p21 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p22 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p23 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p24 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p25 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p26 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p27 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p28 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p29 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p30 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
    pass p31 { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }
}
