#include "demo/shadow_demo.h"

ShadowDemo::ShadowDemo() = default;

ShadowDemo::~ShadowDemo() = default;

void ShadowDemo::InitDemo()
{
    if (RootTime* global = GetGlobalTime())
        global->SetTimeScale(1.0f);
}

int ShadowDemo::DemoFrame()
{
    clock.CountFrame();
    clock.UpdateTime(false);
    dynamics.UpdateDynamics();
    return 1;
}
