#define A0 A1
#define A1 A2
#define A2 A3
#define A3 A4
#define A4 A5
#define A5 A6
#define A6 A7
#define A7 A8
#define A8 A9
#define A9 A10
#define A10 A11
#define A11 A12
#define A12 A13
#define A13 A14
#define A14 A15
#define A15 A16
#define A16 A17
#define A17 A18
#define A18 A19
#define A19 A20
#define A20 A21
#define A21 A22
#define A22 A23
#define A23 A24
#define A24 A25
#define A25 A26
#define A26 A27
#define A27 A28
#define A28 A29
#define A29 A30
#define A30 A31
#define A31 A32
#define A32 A33
#define A33 A34
#define A34 A35
#define A35 A36
#define A36 A37
#define A37 A38
#define A38 A39
#define A39 A40
#define A40 1
#if A0 == 1
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
float v = A0;
#endif
