// The weather request end to end on loopback: the sky and the time of day it
// sets, the records it refuses (changing nothing), and its answer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "net/remote_scene.h"
#include "net/weather.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "testing/test_files.h"
#include "tests/net/scene_link.h"

using namespace net_test;

namespace {

using WeatherRequest = Record<kWeatherRecordSize>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A clear day at 12:30 with some wind.
WeatherRequest ClearDay()
{
    WeatherRequest r;
    r.I16(3, 5000).I16(7, 6).I16(13, 12).I16(15, 30).F32(20, 2000.0f).F32(36, 1000.0f).F32(40, 0.0f);
    return r;
}

class WeatherLink : public ::testing::Test {
protected:
    void SetUp() override { SetActiveCamera(&camera); }
    void TearDown() override { SetActiveCamera(nullptr); }

    CameraNode camera;
    SceneLink link;
    RemoteScene& scene = link.scene;
};

} // namespace

TEST_F(WeatherLink, TheTimeOfDayTurnsTheSkyAtOnce)
{
    camera.SetPosition(float4{3, 50, 4, 1});
    EXPECT_EQ(ToText(link.Apply(ClearDay().Request(kWeatherHeader))), "DUMMYMSG");
    const float a = scene.timeOfDayAngle;
    EXPECT_NEAR(a, 6.863071f, 1e-5f);
    // Applied with dt 0: the angle stays, the bodies stand for it.
    EXPECT_NEAR(scene.sky.domeNode.transform.rotation.x, std::sin(a / 2), 1e-6f);
    EXPECT_NEAR(scene.sky.nearBody.position.x, 3.0f, 1e-5f);
    EXPECT_NEAR(scene.sky.nearBody.position.y, 24 * std::sin(a), 1e-4f);
    EXPECT_NEAR(scene.sky.nearBody.position.z, 4 - 24 * std::cos(a), 1e-4f);
    EXPECT_NEAR(scene.sky.farBody.position.y, -470 * std::sin(a), 1e-3f);
    EXPECT_NEAR(scene.cloudBottomHeight, 6.4f, 1e-5f);
    EXPECT_NEAR(scene.windVector.x, 1.28f, 1e-6f);

    WeatherRequest midnight = ClearDay();
    midnight.I16(13, 0).I16(15, 0);
    link.Apply(midnight.Request(kWeatherHeader));
    EXPECT_NEAR(scene.timeOfDayAngle, 3.3615043f, 1e-6f);
    EXPECT_NEAR(scene.sky.farBody.position.z, 470 * std::cos(3.3615043f), 1e-3f);
}

TEST_F(WeatherLink, TheVisibilityBecomesTheFogTheSceneRendererDrawsWith)
{
    SceneRenderer renderer;
    EXPECT_EQ(renderer.fogMult, 5.275f);
    struct Case {
        float visibility;
        float fogMult;
    };
    for (const Case c : {Case{2000.0f, 5.0f}, Case{1000.0f, 10.0f}, Case{10000.0f, 1.0f}}) {
        WeatherRequest r = ClearDay();
        r.F32(20, c.visibility);
        link.Apply(r.Request(kWeatherHeader));
        EXPECT_FLOAT_EQ(renderer.fogMult, c.fogMult) << c.visibility;
    }
    // No visibility at all: an infinite multiplier.
    WeatherRequest none = ClearDay();
    none.F32(20, 0.0f);
    link.Apply(none.Request(kWeatherHeader));
    EXPECT_EQ(renderer.fogMult, kInf);
}

TEST_F(WeatherLink, ARecordThatCannotBeAppliedIsRefusedAndChangesNothing)
{
    struct Case {
        size_t at;
        float value;
        const char* line;
    };
    const Case cases[] = {
        {20, kInf, "setWeather refused: visibility is not a finite number\n"},
        {24, kNaN, "setWeather refused: first cloud effect cover is not a finite number\n"},
        {28, -kInf, "setWeather refused: second cloud effect cover is not a finite number\n"},
        {36, kNaN, "setWeather refused: wind speed is not a finite number\n"},
        {40, kInf, "setWeather refused: wind direction is not a finite number\n"},
        {45, kNaN, "setWeather refused: star brightness is not a finite number\n"},
    };
    scene.statusFlag = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WeatherRequest r = ClearDay();
        r.F32(c.at, c.value).U8(44, 1).U8(19, 1);
        zandrel_test::CoutCapture out;
        EXPECT_EQ(ToText(link.Apply(r.Request(kWeatherHeader))), "DUMMYMSG");
        EXPECT_EQ(out.Text(), c.line);
        EXPECT_EQ(scene.timeOfDayAngle, 0.0f);
        EXPECT_EQ(scene.cloudBottomHeight, 0.0f);
        EXPECT_EQ(scene.statusFlag, 1);
        EXPECT_EQ(scene.cloudLayerShown[0], 0);
        EXPECT_EQ(scene.windVector.x, 0.0f);
    }
}
