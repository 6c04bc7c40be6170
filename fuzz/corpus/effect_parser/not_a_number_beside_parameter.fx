float P;
float F() { float x = sqrt(-1); if (P > 0) x = 1; return x; }
technique t { pass p { FogDensity = sqrt(-1) * P; FogStart = F(); } }
