sampler TooFar : register(s16);
