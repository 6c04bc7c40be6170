float TypoPS():COLOR{return e++}technique{pass{PixelShader=compile ps_2_0 TypoPS();}}
