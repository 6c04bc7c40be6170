void VS(float1 p:POSITION,in float v:TEXCOORD,out float o:POSITION,out float u:TEXCOORD){mul(p,World)}float PS(float S:VFACE):COLOR{}
