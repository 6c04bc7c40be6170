#include "lib.fxh"
#define SQ(x) ((x) * (x))
#define N 2
#if defined(USE_HDR) && LIB == 1 && SQ(N) == 4
float4 v[N] = { SQ(1), 2, 3, 4,  5, 6, 7, 8 };
#elif N > 1
float v;
#else
#error no
#endif
