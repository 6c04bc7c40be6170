// The demonstration's picture, drawn for real: the program runs on the
// rasterizing device with its frame captured, and in the captured frame the
// ground in a caster's shadow is darker than open ground, each caster shows
// its own colour, and the sky above the ground's far edge is the cleared
// black. The picture is kept beside the test run as demo_frame.png.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "kernel/math/euler.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/projection.h"
#include "kernel/math/rotation_matrix.h"
#include "tests/support/png_picture.h"
#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

struct Picture : PngPicture {
    float Luminance(int x, int y) const
    {
        const unsigned char* p = At(x, y);
        return 0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2];
    }
};

// Where the start-up's view camera puts a world point on the back buffer.
bool PixelOf(float3 point, int& x, int& y)
{
    float4x4 world = RotationMatrix(QuatFromEulerDegrees(25.0f, 220.0f, 0.0f));
    world.SetRow(3, {6.877f, 5.581f, 6.895f, 1.0f});
    const float4x4 viewProj =
        Inverse(world) * PerspectiveFovLH(0.45781732f, float(kWidth) / float(kHeight), 1.0f, 2000.0f);
    const float4 clip = TransformFloat4({point.x, point.y, point.z, 1.0f}, viewProj);
    if (clip.w <= 0.0f)
        return false;
    x = int((clip.x / clip.w + 1.0f) * 0.5f * kWidth);
    y = int((1.0f - clip.y / clip.w) * 0.5f * kHeight);
    return x >= 0 && y >= 0 && x < kWidth && y < kHeight;
}

// Where a point's shadow falls on the ground (y = 0) along the start-up's light.
float3 ShadowOnGround(float3 point)
{
    const float3 light{0.5f, -0.70710678f, 0.5f};
    const float t = point.y / -light.y;
    return {point.x + light.x * t, 0.0f, point.z + light.z * t};
}

} // namespace

TEST(DemoPicture, ShadowsDarkenTheGroundAndEachCasterShowsItsColour)
{
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=1280\nheight=720\nvsync=1\nallowInstancing=1\n"
                       "instancingBufferSize=1024\n");
    const fs::path capture = program.Dir() / "frame.png";
    const fs::path report = program.Dir() / "frames.txt";
    const char* mode = std::getenv("ZANDREL_GFX");
    const std::string savedMode = mode ? mode : "";
    setenv("ZANDREL_GFX", "raster", 1);
    setenv("ZANDREL_CAPTURE", capture.string().c_str(), 1);
    setenv("ZANDREL_FRAME_REPORT", report.string().c_str(), 1);
    const bool started = program.Start();
    unsetenv("ZANDREL_CAPTURE");
    unsetenv("ZANDREL_FRAME_REPORT");
    if (mode)
        setenv("ZANDREL_GFX", savedMode.c_str(), 1);
    else
        unsetenv("ZANDREL_GFX");
    ASSERT_TRUE(started);
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    // A few frames, so the last one captured is a running frame.
    const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
    while (ReadFile(report).rfind("presented ", 0) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();
    if (program.Out().find("frames are recorded, not drawn") != std::string::npos || !fs::exists(capture))
        GTEST_SKIP() << "no rasterizing device here: " << program.Out();

    Picture picture;
    ASSERT_TRUE(picture.Load(capture.string()));
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, kHeight);
    fs::copy_file(capture, "demo_frame.png", fs::copy_options::overwrite_existing);

    // The sphere's shadow, under its centre, against open ground beside it.
    int sx = 0, sy = 0, ox = 0, oy = 0;
    ASSERT_TRUE(PixelOf(ShadowOnGround({-2.4f, 0.75f, -0.2f}), sx, sy));
    ASSERT_TRUE(PixelOf({-4.5f, 0.0f, 1.5f}, ox, oy));
    EXPECT_LT(picture.Luminance(sx, sy), 0.7f * picture.Luminance(ox, oy))
        << "shadow at " << sx << "," << sy << ", open ground at " << ox << "," << oy;
    EXPECT_GT(picture.Luminance(ox, oy), 100.0f);

    // Each caster's lit top in its own colour: red sphere, blue cylinder,
    // green cone, gold ring (red and green over blue).
    struct Caster {
        float3 point;
        int over;  // this channel (0 red, 1 green, 2 blue)...
        int under; // ...is above this one
        int third; // and above this one, when it is not the same
    };
    const Caster casters[] = {
        {{-2.4f, 1.45f, -0.2f}, 0, 1, 2}, // red sphere
        {{1.0f, 1.8f, -4.2f}, 2, 0, 1},   // blue cylinder
        {{-2.4f, 1.2f, -2.8f}, 1, 0, 2},  // green cone
        {{-0.1f, 1.88f, -1.9f}, 0, 2, 2}, // gold ring: red over blue...
        {{-0.1f, 1.88f, -1.9f}, 1, 2, 2}, // ...and green over blue
    };
    for (const Caster& caster : casters) {
        int x = 0, y = 0;
        ASSERT_TRUE(PixelOf(caster.point, x, y));
        const unsigned char* p = picture.At(x, y);
        EXPECT_GT(p[caster.over], p[caster.under]) << "at " << x << "," << y;
        EXPECT_GT(p[caster.over], p[caster.third]) << "at " << x << "," << y;
    }
    // Above the ground's far edge: nothing drawn, the clear's black.
    const unsigned char* sky = picture.At(20, 10);
    EXPECT_EQ(sky[0] + sky[1] + sky[2], 0);
}
