#define F(a, b) (a) * (b)
#define L #line 10 "x.fx"
float4 v = F(1,
  2);
float4 w = F((1,
")("), 3);
 L
#include "..\\inc\\lib.fxh"
#include "INC\LIB.FXH"
float4 PS() : COLOR { return v * w; }
technique t { pass p { PixelShader = compile ps_3_0 PS(); } }
