#define A float4(a)=(a)
#define B A A A A A A A A
#define C B B B B B B B B
#define D C C C C C C C C
float4 VS(float4 p : POSITION) : POSITION { return mul(p, World); }
float4 PS() : COLOR0 { float4 a = Tint; return (D D); float4(a) = 2; }
