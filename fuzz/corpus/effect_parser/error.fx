float4 x = float4(1, 2;
