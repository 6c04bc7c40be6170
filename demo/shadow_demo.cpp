#include "demo/shadow_demo.h"

ShadowDemo::ShadowDemo() = default;

ShadowDemo::~ShadowDemo() = default;

void ShadowDemo::InitDemo()
{
}

int ShadowDemo::DemoFrame()
{
    return 1;
}
