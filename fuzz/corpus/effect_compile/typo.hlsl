float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS():COLOR0{return undefinedName++;}
