/* A comment, however long, buys the loop below no work: the budget counts
   the bytes of the tokens alone, so the static is refused as without it.
   ------------------------------------------------------------------------
   ------------------------------------------------------------------------
   ------------------------------------------------------------------------
   ------------------------------------------------------------------------ */
// ---------------------------------------------------------------------------
float Rounds() { float x = 0; for (int i = 0; i < 50000; i++) x += 1; return x; }
static const float Many = Rounds();
float Sum() { float x = 0; for (int i = 0; i < 50000; i++) x += Tint.x; return x; }
float4 VS(float4 p : POSITION) : POSITION { return mul(p, World) * Many; }
float4 PS() : COLOR0 { return Tint * Sum(); }
