#include "demo/shadow_demo.h"

#include "platform/input/scan_codes.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"

ShadowDemo::ShadowDemo() = default;

ShadowDemo::~ShadowDemo() = default;

void ShadowDemo::InitDemo()
{
    if (RootTime* global = GetGlobalTime())
        global->SetTimeScale(1.0f);

    freeCamera.lookSmoothing = 100.0f;
    freeCamera.turnFactorX = 3.0f;
    freeCamera.turnFactorY = 3.0f;
    freeCamera.moveStep = 3.0f;
}

int ShadowDemo::DemoFrame()
{
    clock.CountFrame();
    clock.UpdateTime(false);

    DirectInputDevices* input = GetDirectInput();
    input->PollMouse();
    input->PollKeyboard();
    GetControls()->UpdateControls();
    if (input->IsKeyHit(platform::input::kKeyEscape))
        return 0;

    dynamics.UpdateDynamics();

    lightSize += input->GetMouseDZ() * 0.0005f;

    sceneRenderer.BeginFrame();
    passList.RenderPasses();
    sceneRenderer.EndFrame();
    return 1;
}
