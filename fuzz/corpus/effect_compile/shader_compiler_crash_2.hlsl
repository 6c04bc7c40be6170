float a(){}void VS(in float1 p:TEXCOORD,out float o:POSITION,out float v:TEXCOORD){mul(p,World)}float PS(float S:VFACE):COLOR{()}
