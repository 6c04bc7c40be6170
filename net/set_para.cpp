#include "net/set_para.h"

#include <cmath>
#include <iostream>

#include "kernel/math/euler.h"
#include "kernel/task_message.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "net/weather.h"
#include "net/world_placement.h"
#include "platform/bytes/byte_reader.h"

namespace {

constexpr size_t kModeAt = 5;
constexpr size_t kLevel1At = 7;
constexpr size_t kLevel2At = 8;
constexpr size_t kFirstPoseAt = 9;
constexpr size_t kSecondPoseAt = 33;
constexpr size_t kThirdOrientationAt = 69;
// The single-precision value nearest 1/255.
constexpr float kPerByte = 0.003921569f;

struct FloatField {
    size_t at;
    const char* name;
};

const FloatField kFloatFields[] = {
    {9, "first pose x"},          {13, "first pose y"},          {17, "first pose z"},
    {21, "first yaw"},            {25, "first pitch"},           {29, "first roll"},
    {33, "second pose x"},        {37, "second pose y"},         {41, "second pose z"},
    {45, "second yaw"},           {49, "second pitch"},          {53, "second roll"},
    {69, "third yaw"},            {73, "third pitch"},           {77, "third roll"},
};

float3 Pose(platform::ByteReader& in, size_t at)
{
    auto scaled = [&](size_t k) { return static_cast<float>(in.F32At(at + 4 * k) * kOutsideToScene); };
    return {scaled(0), scaled(1), scaled(2)};
}

ParaOrientation Orientation(platform::ByteReader& in, size_t at)
{
    return {in.F32At(at), in.F32At(at + 4), in.F32At(at + 8)};
}

// Formed wide and rounded to single precision once.
float Level(uint8_t value)
{
    return static_cast<float>(static_cast<double>(value) * static_cast<double>(kPerByte) * 5.0);
}

void Turn(SceneNode& node, float pitch, float yaw, float roll)
{
    node.transform.SetRotationEuler(pitch, yaw, roll);
    node.worldDirty = 1;
}

} // namespace

SetParaValues DecodeSetPara(const uint8_t* record)
{
    platform::ByteReader in(record, kSetParaRecordSize);
    SetParaValues v;
    v.mode = in.U8At(kModeAt);
    v.level1 = Level(in.U8At(kLevel1At));
    v.level2 = Level(in.U8At(kLevel2At));
    v.firstPose = Pose(in, kFirstPoseAt);
    v.firstOrientation = Orientation(in, kFirstPoseAt + 12);
    v.secondPose = Pose(in, kSecondPoseAt);
    v.secondOrientation = Orientation(in, kSecondPoseAt + 12);
    v.thirdOrientation = Orientation(in, kThirdOrientationAt);
    return v;
}

std::string CheckSetParaRecord(const uint8_t* record)
{
    // Any mode is stored as it comes; modes above 2 have no reply bit.
    platform::ByteReader in(record, kSetParaRecordSize);
    for (const FloatField& field : kFloatFields) {
        if (!std::isfinite(in.F32At(field.at)))
            return std::string(field.name) + " is not a finite number";
    }
    return {};
}

uint8_t ParaReplyFlags(uint8_t statusFlag, uint8_t mode)
{
    uint8_t flags = statusFlag != 0 ? 1 : 0;
    if (mode == scene_mode::k0)
        flags |= 2;
    else if (mode == scene_mode::k1)
        flags |= 4;
    else if (mode == scene_mode::k2)
        flags |= 8;
    return flags;
}

void ApplySetPara(RemoteScene& scene, const SetParaValues& v)
{
    scene.paraLevel1 = v.level1;
    scene.paraLevel2 = v.level2;

    const ParaOrientation& second = v.secondOrientation;
    if (scene.mode != scene_mode::k1) {
        SetWorldPosition(scene.probeNode, v.secondPose);
        Turn(scene.probeNode, second.pitch, second.yaw, second.roll);
    }
    if (SceneNode* para = scene.paraNode) {
        const ParaOrientation& first = v.firstOrientation;
        SetWorldPosition(*para, v.firstPose);
        SetWorldRotation(*para, QuatFromEulerDegrees(first.pitch, first.yaw, first.roll));
    }
    const bool timerRan = scene.mode == scene_mode::k1 && static_cast<double>(scene.timerValue) >= scene.timerLimit;
    if (scene.mode != scene_mode::k0 && !timerRan) {
        const ParaOrientation& third = v.thirdOrientation;
        Turn(scene.attitudeNode, third.pitch, third.yaw, third.roll);
    }

    // The reply reports the mode the request was applied under.
    const float4 probe = scene.probeNode.GetWorldMatrix()->Row(3);
    ParaReply reply;
    reply.SetFlags(ParaReplyFlags(scene.statusFlag, scene.mode));
    reply.SetValue(scene.TerrainHeightAt(probe.x, probe.z) * kSceneToOutside);
    WriteParaReply(reply);

    const uint8_t old = scene.mode;
    if (old == scene_mode::k2 && scene.modeLatch != 0)
        return;
    if (old > scene_mode::k1 && v.mode <= scene_mode::k1) {
        scene.ResetSceneColour();
        Turn(scene.probeNode, 0.0f, second.yaw, 0.0f);
    }
    if (v.mode == scene_mode::k2 && old != scene_mode::k2)
        scene.SetupSceneMode2();
    scene.mode = v.mode;
}

void SetParaHandler(TaskMessage* task)
{
    RemoteScene* scene = GetRemoteScene();
    if (!scene)
        return;
    const SetParaRecordBytes record = task->Get<SetParaArgs::Record>();
    const std::string problem = CheckSetParaRecord(record.data());
    if (!problem.empty()) {
        std::cout << "setPara refused: " << problem << "\n";
        return;
    }
    ApplySetPara(*scene, DecodeSetPara(record.data()));
}
