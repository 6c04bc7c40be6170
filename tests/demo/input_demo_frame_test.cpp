// The demonstration's frame reads the devices and delivers the bindings before
// it tests Escape: an Escape press ends the frame with 0, from the keyboard or
// from the terminal; the free camera is tuned at start-up; the wheel changes
// the light's size.
#include <gtest/gtest.h>

#include <memory>

#include "demo/shadow_demo.h"
#include "scene/scene_node.h"
#include "tests/scene/input_test_support.h"

using namespace input_test;

namespace {

struct DemoRig : InputRig {
    DemoRig() : InputRig("[Controls]\ncameraFWD = W\n") { demo.InitDemo(); }
    ShadowDemo demo;
};

} // namespace

TEST(InputDemoFrame, EscapeEndsTheFrameWithZeroOncePerPress)
{
    DemoRig rig;
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    inject::PressKey(kKeyW);
    EXPECT_EQ(rig.demo.DemoFrame(), 1);

    inject::PressKey(kKeyEscape);
    EXPECT_EQ(rig.demo.DemoFrame(), 0);
    // Still held: the press has been counted.
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    inject::ReleaseKey(kKeyEscape);
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    inject::PressKey(kKeyEscape);
    EXPECT_EQ(rig.demo.DemoFrame(), 0);
}

TEST(InputDemoFrame, AnEscapeFromTheTerminalEndsTheFrameOnceNothingFollowsIt)
{
    DemoRig rig;
    inject::TypeOnTerminal("\x1b");
    // It could still be the start of an arrow key.
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    inject::TerminalFallsSilent();
    EXPECT_EQ(rig.demo.DemoFrame(), 0);

    // An arrow key is no Escape.
    inject::TypeOnTerminal("\x1b[A");
    inject::TerminalFallsSilent();
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
}

TEST(InputDemoFrame, EscapeStopsTheFrameBeforeThePerFrameObjects)
{
    DemoRig rig;
    inject::MoveMouse(0, 0, 200);
    inject::PressKey(kKeyEscape);
    EXPECT_EQ(rig.demo.DemoFrame(), 0);
    EXPECT_EQ(rig.demo.lightSize, 0.25f); // as the start-up left it
    EXPECT_EQ(rig.demo.freeCamera.smoothX, 0.0f);

    inject::MoveMouse(0, 0, 200);
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    EXPECT_FLOAT_EQ(rig.demo.lightSize, 0.25f + 200 * 0.0005f);
    inject::MoveMouse(0, 0, -1000);
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    EXPECT_FLOAT_EQ(rig.demo.lightSize, 0.25f + 200 * 0.0005f - 1000 * 0.0005f); // no bound below 0
}

TEST(InputDemoFrame, StartUpTunesTheFreeCamera)
{
    DemoRig rig;
    EXPECT_EQ(rig.demo.freeCamera.smoothing, 100.0f);
    EXPECT_EQ(rig.demo.freeCamera.xScale, 3.0f);
    EXPECT_EQ(rig.demo.freeCamera.yScale, 3.0f);
    EXPECT_EQ(rig.demo.freeCamera.speed, 3.0f);
    EXPECT_EQ(rig.demo.freeCamera.mouseScale, 1.0f);
    EXPECT_EQ(rig.demo.dynamics.Entries(), (std::vector<Dynamic*>{&rig.demo.freeCamera}));
}

TEST(InputDemoFrame, AHeldKeyReachesTheCameraInTheFrameThatReadIt)
{
    // The start-up attached the free camera to the view camera.
    DemoRig rig;
    ASSERT_EQ(GetControls()->bindings[kKeyW].size(), 2u);
    inject::PressKey(kKeyW);
    EXPECT_EQ(rig.demo.DemoFrame(), 1);
    // The bindings delivered before the per-frame objects ran, so the move
    // was asked for and used up within this one frame; none waits for the next.
    EXPECT_EQ(rig.demo.freeCamera.moved, 0);
    EXPECT_EQ(rig.demo.freeCamera.move.z, 0.0f);

    // Delivery alone leaves it waiting for the camera's update.
    GetControls()->UpdateControls();
    EXPECT_EQ(rig.demo.freeCamera.moved, 1);
    EXPECT_EQ(rig.demo.freeCamera.move.z, 6.0f);
}
