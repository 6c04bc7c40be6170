float Level;
float F(float x) { if (x > 0) return 1; return 2; }
float Forever() { for (;;) {} }
float Deep(int n) { if (n == 0) return 0; return 1 + Deep(n - 1); }
static float a = F(Level);
float b = Forever();
float c = Deep(20);
float d = sqrt(-1);
technique t { pass p { LightEnable[0.5] = true; LightEnable[Level] = true; } }
