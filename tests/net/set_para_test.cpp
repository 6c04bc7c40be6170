// The setPara request end to end on loopback: the record's fields, the checks
// that refuse a record, the probe, para and attitude nodes under each mode,
// the ParaReply block byte for byte (answered one request late), the mode
// changes with the latch, the reset, and the payload left as it came.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "kernel/math/euler.h"
#include "net/remote_scene.h"
#include "net/set_para.h"
#include "render/effects/effect.h"
#include "testing/test_files.h"
#include "tests/net/scene_link.h"

using namespace net_test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Offsets of the record.
constexpr size_t kMode = 5, kLevel1 = 7, kLevel2 = 8;
constexpr size_t kPose1 = 9, kYaw1 = 21, kPitch1 = 25, kRoll1 = 29;
constexpr size_t kPose2 = 33, kYaw2 = 45, kPitch2 = 49, kRoll2 = 53;
constexpr size_t kYaw3 = 69, kPitch3 = 73, kRoll3 = 77;

SetParaRecord Para(uint8_t mode)
{
    SetParaRecord record;
    record.U8(kMode, mode);
    return record;
}

SetParaRecord& Pose(SetParaRecord& r, size_t at, float x, float y, float z)
{
    return r.F32(at, x).F32(at + 4, y).F32(at + 8, z);
}

void ExpectNear(const float4& v, float x, float y, float z, float tolerance = 1e-4f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void ExpectSameRotation(const quat& a, const quat& b)
{
    // q and -q are one rotation.
    const float sign = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z < 0.0f ? -1.0f : 1.0f;
    EXPECT_NEAR(a.x, sign * b.x, 1e-5f);
    EXPECT_NEAR(a.y, sign * b.y, 1e-5f);
    EXPECT_NEAR(a.z, sign * b.z, 1e-5f);
    EXPECT_NEAR(a.w, sign * b.w, 1e-5f);
}

// A 4 x 4 terrain over 30 x 30 at heights 0..10, every float sample `level`.
struct FlatTerrain {
    explicit FlatTerrain(Heightfield& field, float level)
    {
        samples.assign(16, level);
        description.sampleCount = 16;
        field.description = &description;
        field.dataSize = 16 * 4;
        field.data = reinterpret_cast<const uint8_t*>(samples.data());
        field.extent = {30, 10, 30};
        field.minCorner = {0, 0, 0};
        field.maxCorner = {30, 10, 30};
        field.width = 4;
        field.depth = 4;
    }
    HeightfieldDescription description;
    std::vector<float> samples;
};

// Outside units of a scene position.
float Outside(float scene)
{
    return scene / 0.00128f;
}

class SetPara : public ::testing::Test {
protected:
    SceneLink link;
    RemoteScene& scene = link.scene;
};

} // namespace

// ---- The record ----

TEST(SetParaRecordFields, DecodeScalesPositionsAndLevels)
{
    SetParaRecord r = Para(2);
    Pose(r, kPose1, 1000.0f, -781.25f, 0.0f).F32(kYaw1, 10).F32(kPitch1, 20).F32(kRoll1, 30);
    Pose(r, kPose2, 781.25f, 2.0f, 3.0f).F32(kYaw2, -1).F32(kPitch2, -2).F32(kRoll2, -3);
    r.F32(kYaw3, 7).F32(kPitch3, 8).F32(kRoll3, 9);
    struct Level {
        uint8_t byte;
        float value;
    };
    // One rounding: 255 gives just above 5, 51 exactly 1 (two roundings would give just above 1).
    for (const Level level : {Level{0, 0.0f}, Level{255, 5.0000005f}, Level{51, 1.0f}}) {
        r.U8(kLevel1, level.byte).U8(kLevel2, level.byte);
        const SetParaValues v = DecodeSetPara(r.bytes.data());
        EXPECT_EQ(v.level1, level.value) << int(level.byte);
        EXPECT_EQ(v.level2, level.value) << int(level.byte);
    }
    const SetParaValues v = DecodeSetPara(r.bytes.data());
    EXPECT_EQ(v.mode, 2);
    EXPECT_FLOAT_EQ(v.firstPose.x, 1.28f);
    EXPECT_FLOAT_EQ(v.firstPose.y, -1.0f);
    EXPECT_EQ(v.firstPose.z, 0.0f);
    EXPECT_FLOAT_EQ(v.secondPose.x, 1.0f);
    EXPECT_EQ(v.firstOrientation.yaw, 10.0f);
    EXPECT_EQ(v.firstOrientation.pitch, 20.0f);
    EXPECT_EQ(v.firstOrientation.roll, 30.0f);
    EXPECT_EQ(v.secondOrientation.roll, -3.0f);
    EXPECT_EQ(v.thirdOrientation.yaw, 7.0f);
    EXPECT_EQ(v.thirdOrientation.roll, 9.0f);
    EXPECT_EQ(ParaReplyFlags(0, 0), 2);
    EXPECT_EQ(ParaReplyFlags(1, 1), 5);
    EXPECT_EQ(ParaReplyFlags(7, 2), 9);
    EXPECT_EQ(ParaReplyFlags(1, 3), 1);
}

TEST_F(SetPara, ARecordThatCannotBeAppliedIsRefusedAndChangesNothing)
{
    struct Case {
        size_t at;
        float value;
        const char* line;
    };
    const Case cases[] = {
        {kPose1, kNaN, "setPara refused: first pose x is not a finite number\n"},
        {kPose1 + 8, kInf, "setPara refused: first pose z is not a finite number\n"},
        {kPitch1, -kInf, "setPara refused: first pitch is not a finite number\n"},
        {kPose2 + 4, kNaN, "setPara refused: second pose y is not a finite number\n"},
        {kRoll2, kInf, "setPara refused: second roll is not a finite number\n"},
        {kYaw3, kNaN, "setPara refused: third yaw is not a finite number\n"},
        {kRoll3, -kNaN, "setPara refused: third roll is not a finite number\n"},
    };
    scene.mode = 1;
    scene.statusFlag = 1;
    SceneNode para;
    scene.paraNode = &para;
    const ParaReply before = ReadParaReply();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SetParaRecord r = Para(0);
        Pose(r, kPose1, 100, 200, 300).F32(kYaw3, 45).U8(kLevel1, 200);
        r.F32(c.at, c.value);
        zandrel_test::CoutCapture out;
        link.SetPara(r);
        EXPECT_EQ(out.Text(), c.line);
        EXPECT_EQ(ReadParaReply().bytes, before.bytes);
        EXPECT_EQ(scene.mode, 1);
        EXPECT_EQ(scene.paraLevel1, 0.0f);
        ExpectNear(para.transform.position, 0, 0, 0);
        EXPECT_EQ(scene.attitudeNode.transform.rotation.w, 1.0f);
    }
}

TEST_F(SetPara, TheReplyCarriesTheStateTheEarlierTasksLeftByteForByte)
{
    FlatTerrain terrain(scene.terrain, 0.5f); // height 5 everywhere inside
    SetParaRecord inside = Para(0);
    Pose(inside, kPose2, Outside(15), 0, Outside(15));
    SetParaRecord outside = Para(0);
    Pose(outside, kPose2, Outside(100), 0, Outside(15));

    // Before any task: the tag and zeros.
    EXPECT_EQ(link.SetPara(inside), ReplyBytes(0, 0.0f));
    EXPECT_EQ(ToText(ReplyBytes(0, 0.0f)).substr(0, 8), "PARAREPL");
    // Then what the first task wrote: mode 0, height 5 in outside units.
    EXPECT_EQ(link.SetPara(outside), ReplyBytes(2, 5.0f * 781.25f));
    // Outside the grid the lower corner's height; the status bit.
    scene.statusFlag = 1;
    EXPECT_EQ(link.SetPara(inside), ReplyBytes(2, 0.0f));
    EXPECT_EQ(link.SetPara(inside), ReplyBytes(3, 3906.25f));
    EXPECT_EQ(ReadParaReply().bytes[8], 3);
}

TEST_F(SetPara, ModeZeroToTwoAndBackWithTheReset)
{
    MakeUniqueMaterial(scene.tintEffect);
    SceneNode modeTwo;
    scene.modeTwoNode = &modeTwo;
    scene.modeTwoGroup.CreateMeshNodes(3);
    scene.normalGroupA.CreateMeshNodes(3);
    scene.normalGroupB.CreateMeshNodes(2);
    const auto tint = [&] { return scene.tintEffect.GetEffect()->params.Group("").vectors.at("diffuseColor"); };

    SetParaRecord toTwo = Para(2);
    toTwo.F32(kYaw3, 90.0f);
    // Applied under mode 0: no attitude turn, flags 2, then the mode-2 set-up.
    link.SetPara(toTwo);
    EXPECT_EQ(scene.mode, 2);
    EXPECT_EQ(ReadParaReply().Flags(), 2);
    EXPECT_EQ(scene.attitudeNode.transform.rotation.w, 1.0f);
    EXPECT_EQ(modeTwo.visible, 1);
    EXPECT_EQ(scene.normalNodes[0].visible, 0);
    EXPECT_EQ(scene.normalGroupA.Nodes()->items[1]->visible, 0);
    EXPECT_EQ(scene.normalGroupA.Nodes()->items[2]->visible, 1);
    EXPECT_EQ(scene.normalGroupB.Nodes()->items[0]->visible, 0);
    EXPECT_EQ(scene.modeTwoGroup.Nodes()->items[2]->visible, 1);
    EXPECT_EQ(tint().w, 1.0f);
    EXPECT_EQ(tint().x, 1.0f);

    // The next one runs under mode 2: flags 8 and the attitude turns.
    EXPECT_EQ(link.SetPara(toTwo)[8], 2);
    EXPECT_EQ(ReadParaReply().Flags(), 8);
    ExpectSameRotation(scene.attitudeNode.transform.rotation, QuatFromEulerDegrees(0, 90, 0));

    // Back to 0: the reset, and the probe keeps only the yaw of the request.
    SetParaRecord toZero = Para(0);
    toZero.F32(kYaw2, 30.0f).F32(kPitch2, 40.0f).F32(kRoll2, 50.0f);
    link.SetPara(toZero);
    EXPECT_EQ(scene.mode, 0);
    EXPECT_EQ(ReadParaReply().Flags(), 8);
    ExpectSameRotation(scene.probeNode.transform.rotation, QuatFromEulerDegrees(0, 30, 0));
    EXPECT_EQ(tint().x, 0.5f);
    EXPECT_EQ(tint().w, 1.0f);
    EXPECT_EQ(modeTwo.visible, 0);
    EXPECT_EQ(scene.normalNodes[3].visible, 1);
    EXPECT_EQ(scene.normalGroupA.Nodes()->items[0]->visible, 1);
    EXPECT_EQ(scene.normalGroupB.Nodes()->items[0]->visible, 1);
    EXPECT_EQ(scene.modeTwoGroup.Nodes()->items[0]->visible, 0);
    EXPECT_EQ(scene.normalGroupB.Nodes()->items[1]->visible, 1); // untouched
}

TEST_F(SetPara, TheLatchHoldsModeTwoWhileThePosesAndTheReplyGoOn)
{
    scene.mode = 2;
    scene.modeLatch = 1;
    SceneNode modeTwo;
    scene.modeTwoNode = &modeTwo;
    for (uint8_t wanted : {0, 1}) {
        SetParaRecord r = Para(wanted);
        Pose(r, kPose2, Outside(2), Outside(3), Outside(4));
        link.SetPara(r);
        EXPECT_EQ(scene.mode, 2);
        EXPECT_EQ(modeTwo.visible, 1); // no reset ran
        EXPECT_EQ(ReadParaReply().Flags(), 8);
        ExpectNear(scene.probeNode.GetWorldMatrix()->Row(3), 2, 3, 4);
    }
    scene.modeLatch = 0;
    link.SetPara(Para(1));
    EXPECT_EQ(scene.mode, 1);
    EXPECT_EQ(modeTwo.visible, 0);
}

TEST_F(SetPara, WhatEachModeMovesAndTurns)
{
    struct Case {
        uint8_t mode;
        float timerValue;
        double timerLimit;
        bool probeMoves;
        bool attitudeTurns;
    };
    const Case cases[] = {
        {0, 0, 0, true, false},
        {1, 0.5f, 1.0, false, true}, // the timer runs
        {1, 1.0f, 1.0, false, false}, // it has run out
        {2, 9.0f, 1.0, true, true},
        {3, 9.0f, 1.0, true, true}, // stored as it came
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        scene.mode = c.mode;
        scene.timerValue = c.timerValue;
        scene.timerLimit = c.timerLimit;
        scene.probeNode.SetPosition(float4{-1, -1, -1, 1});
        scene.probeNode.SetRotation(quat{});
        scene.attitudeNode.SetRotation(quat{});
        SetParaRecord r = Para(c.mode);
        Pose(r, kPose2, Outside(5), Outside(6), Outside(7)).F32(kYaw2, 10).F32(kPitch2, 20).F32(kRoll2, 30);
        r.F32(kYaw3, 40).F32(kPitch3, 50).F32(kRoll3, 60);
        link.SetPara(r);
        EXPECT_EQ(scene.mode, c.mode);
        if (c.probeMoves) {
            ExpectNear(scene.probeNode.GetWorldMatrix()->Row(3), 5, 6, 7);
            // Record order yaw, pitch, roll; turned as (pitch, yaw, roll).
            ExpectSameRotation(scene.probeNode.transform.rotation, QuatFromEulerDegrees(20, 10, 30));
        } else {
            ExpectNear(scene.probeNode.GetWorldMatrix()->Row(3), -1, -1, -1);
            EXPECT_EQ(scene.probeNode.transform.rotation.w, 1.0f);
        }
        if (c.attitudeTurns)
            ExpectSameRotation(scene.attitudeNode.transform.rotation, QuatFromEulerDegrees(50, 40, 60));
        else
            EXPECT_EQ(scene.attitudeNode.transform.rotation.w, 1.0f);
    }
}

TEST_F(SetPara, ThePosesArePlacedInWorldSpaceUnderAMovedParent)
{
    SceneNode parent, grandparent, para;
    grandparent.SetRotation(QuatFromEulerDegrees(0, 90, 0));
    grandparent.SetPosition(float4{10, 0, 0, 1});
    parent.SetParent(&grandparent);
    parent.SetRotation(QuatFromEulerDegrees(30, 0, 0));
    parent.SetPosition(float4{0, 5, 0, 1});
    parent.SetScale(float4{2, 2, 2, 1});
    para.SetParent(&parent);
    scene.paraNode = &para;
    scene.probeNode.SetParent(&parent);

    SetParaRecord r = Para(0);
    Pose(r, kPose1, Outside(1), Outside(2), Outside(3)).F32(kYaw1, 15).F32(kPitch1, 25).F32(kRoll1, 35);
    Pose(r, kPose2, Outside(-4), Outside(5), Outside(-6));
    link.SetPara(r);
    ExpectNear(para.GetWorldMatrix()->Row(3), 1, 2, 3);
    quat world;
    ExpectSameRotation(para.GetWorldRotation(world), QuatFromEulerDegrees(25, 15, 35));
    ExpectNear(scene.probeNode.GetWorldMatrix()->Row(3), -4, 5, -6);
    scene.probeNode.SetParent(nullptr);
}

TEST_F(SetPara, TheHandlersCopyIsScaledNotThePayload)
{
    SetParaRecord r = Para(0);
    Pose(r, kPose1, 1000, 2000, 3000);
    TaskMessage task = MakeSetParaTask(r.bytes.data());
    SetParaHandler(&task);
    EXPECT_EQ(std::memcmp(task.payload, r.bytes.data(), r.bytes.size()), 0);
}
