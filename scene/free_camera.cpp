#include "scene/free_camera.h"

#include <algorithm>

#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "scene/scene_node.h"

namespace {
void AskForSceneNode(Component* asker, Component* target)
{
    ComponentMessage give;
    give.id = IMSG_GIVE_SCENENODE;
    asker->SendMessage(target, give);
}
} // namespace

FreeCamera::FreeCamera() = default;

FreeCamera::~FreeCamera()
{
    if (Controls* controls = ExistingControls())
        controls->UnbindControl(this);
}

void FreeCamera::GatherSceneNodes(ComponentMessage* message)
{
    const uint32_t id = message->id;
    if (id == IMSG_ME_ATTACHED) {
        AskForSceneNode(this, message->sender);
    } else if (id == IMSG_SOMEONE_ATTACHED) {
        AskForSceneNode(this, static_cast<Component*>(message->Object()));
    } else if (id == IMSG_SUPPLY_SCENENODE) {
        auto* node = static_cast<SceneNode*>(message->Object());
        if (node && std::find(nodes.begin(), nodes.end(), node) == nodes.end())
            nodes.push_back(node);
    } else if (id == IMSG_ME_DETACHED) {
        nodes.clear();
        nodes.shrink_to_fit();
    }
}

void FreeCamera::OnMessage(ComponentMessage* message)
{
    GatherSceneNodes(message);
    const uint32_t id = message->id;
    const float s = speed;
    if (id == IMSG_ME_ATTACHED) {
        AskForSceneNode(this, message->sender);
    } else if (id == IMSG_SUPPLY_SCENENODE) {
        BindCameraControls();
    } else if (id == IMSG_SOMEONE_ATTACHED) {
        AskForSceneNode(this, static_cast<Component*>(message->Object()));
    } else if (id == IMSG_ME_DETACHED) {
        GetControls()->UnbindControl(this);
    } else if (id == IMSG_ACTION_FWD) {
        move = move + float4{0.0f, 0.0f, s, 0.0f};
        moved = 1;
    } else if (id == IMSG_ACTION_BWD) {
        move = move + float4{0.0f, 0.0f, -s, 0.0f};
        moved = 1;
    } else if (id == IMSG_ACTION_LEFT) {
        move = move + float4{-s, 0.0f, 0.0f, 0.0f};
        moved = 1;
    } else if (id == IMSG_ACTION_RIGHT) {
        move = move + float4{s, 0.0f, 0.0f, 0.0f};
        moved = 1;
    }
}

void FreeCamera::BindCameraControls()
{
    Controls* controls = GetControls();
    controls->BindControl(this, "cameraFWD", IMSG_ACTION_FWD);
    controls->BindControl(this, "cameraBWD", IMSG_ACTION_BWD);
    controls->BindControl(this, "cameraLEFT", IMSG_ACTION_LEFT);
    controls->BindControl(this, "cameraRIGHT", IMSG_ACTION_RIGHT);
}

void FreeCamera::Update()
{
    for (size_t i = 0; i < nodes.size(); ++i)
        UpdateNode(nodes[i]);
}

void FreeCamera::UpdateNode(SceneNode* node)
{
    if (!node)
        return;
    DirectInputDevices* input = GetDirectInput();
    const int n = static_cast<int>(smoothing);

    const float rawX = input->GetMouseDX() * xScale * mouseScale;
    smoothX = n > 1 ? smoothX - (smoothX - rawX) / static_cast<float>(n) : rawX;
    const float rawY = input->GetMouseDY() * yScale * mouseScale;
    smoothY = n > 1 ? smoothY - (smoothY - rawY) / static_cast<float>(n) : rawY;

    const float4 aboutOwnX{1.0f, 0.0f, 0.0f, smoothY};
    const float4 aboutParentY{0.0f, 1.0f, 0.0f, smoothX};
    node->transform.Rotate(&aboutOwnX, &aboutParentY, nullptr);
    node->worldDirty = 1;

    if (moved) {
        node->transform.Translate(move, false);
        node->worldDirty = 1;
        move = float4{};
        moved = 0;
    }
}
