// Cloud layers: the cover shows the first clouds in array order and hides the
// rest, the bottom height moves every cloud and reaches the cloud material's
// effect, and a weather record's two values drive both.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "render/world/cloud_layer.h"
#include "testing/message_box_script.h"

namespace {

const float4 kShown{1, 1, 1, 1};
const float4 kHidden{0, 0, 0, 0};

bool Same(const float4& a, const float4& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

class CloudLayers : public ::testing::Test {
protected:
    void Build(uint32_t count)
    {
        nodes.reset(count ? new MeshNode[count] : nullptr);
        records.reset(count ? new CloudRecord[count] : nullptr);
        for (uint32_t i = 0; i < count; ++i) {
            nodes[i].SetPosition(float4{float(i) * 10.0f, 50.0f, -float(i), 1.0f});
            records[i].colour = {0.5f, 0.5f, 0.5f, 0.5f};
        }
        if (!material.GetBlock())
            MakeUniqueMaterial(material);
        layer.material = material.GetBlock();
        layer.nodes = nodes.get();
        layer.records = records.get();
        layer.count = count;
    }

    // The number of clouds shown, each shown one before every hidden one.
    uint32_t ShownClouds()
    {
        uint32_t shown = 0;
        for (uint32_t i = 0; i < layer.count; ++i) {
            if (Same(records[i].colour, kShown)) {
                EXPECT_EQ(shown, i) << "cloud " << i << " shown after a hidden one";
                ++shown;
            } else {
                EXPECT_TRUE(Same(records[i].colour, kHidden)) << "cloud " << i;
            }
        }
        return shown;
    }

    const std::map<std::string, float>& Floats() { return material.GetEffect()->params.Group("").floats; }

    platform::testing::ScriptedMessageBoxes boxes;
    MaterialResource material;
    std::unique_ptr<MeshNode[]> nodes;
    std::unique_ptr<CloudRecord[]> records;
    CloudLayer layer;
};

TEST_F(CloudLayers, TheCoverShowsTheFirstCloudsAndHidesTheRest)
{
    Build(5);
    SetCloudCover(layer, 0.5f);
    EXPECT_EQ(layer.cover, 0.5f);
    EXPECT_EQ(ShownClouds(), 2u);

    SetCloudCover(layer, 1.7f);
    EXPECT_EQ(layer.cover, 1.0f);
    EXPECT_EQ(ShownClouds(), 5u);

    SetCloudCover(layer, -0.2f);
    EXPECT_EQ(layer.cover, 0.0f);
    EXPECT_EQ(ShownClouds(), 0u);

    SetCloudCover(layer, 0.8f);
    EXPECT_EQ(ShownClouds(), 4u);
    SetCloudCover(layer, NAN);
    EXPECT_EQ(layer.cover, 0.0f) << "no number counts as no cover";
    EXPECT_EQ(ShownClouds(), 0u);

    Build(10);
    SetCloudCover(layer, 0.99f);
    EXPECT_EQ(ShownClouds(), 9u) << "the last cloud stays hidden";
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CloudLayers, TheBottomHeightMovesEveryCloudAndReachesTheEffect)
{
    Build(3);
    for (uint32_t i = 0; i < 3; ++i) {
        nodes[i].GetWorldMatrix();
        nodes[i].transform.translationDirty = nodes[i].transform.transformDirty = nodes[i].transform.changed = 0;
        nodes[i].worldDirty = 0;
    }
    SetCloudBottomHeight(layer, 10.0f);
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const float4& at = nodes[i].transform.position;
        EXPECT_TRUE(Same(at, {float(i) * 10.0f, 10.0f, -float(i), 1.0f}));
        EXPECT_EQ(nodes[i].transform.translationDirty, 1);
        EXPECT_EQ(nodes[i].transform.transformDirty, 1);
        EXPECT_EQ(nodes[i].transform.changed, 1);
        EXPECT_EQ(nodes[i].worldDirty, 1);
        const float4x4* world = nodes[i].GetWorldMatrix();
        EXPECT_EQ(world->m[13], 10.0f) << "row 3 holds the position";
        EXPECT_TRUE(Same(records[i].heightSplat, {10, 10, 10, 10}));
        EXPECT_EQ(records[i].height, 10.0f);
        EXPECT_TRUE(Same(records[i].colour, {0.5f, 0.5f, 0.5f, 0.5f})) << "the height leaves the cover alone";
    }
    EXPECT_EQ(Floats().at("cumulusBottomHeight"), 7.0f);
}

TEST_F(CloudLayers, ALayerWithoutCloudsOnlyKeepsItsValues)
{
    Build(0);
    SetCloudCover(layer, 0.4f);
    EXPECT_EQ(layer.cover, 0.4f);
    SetCloudBottomHeight(layer, -1.0f);
    EXPECT_EQ(Floats().at("cumulusBottomHeight"), -4.0f);

    // Arrays that are not there are not touched, whatever the count says.
    layer.count = 4;
    layer.nodes = nullptr;
    layer.records = nullptr;
    SetCloudCover(layer, 1.0f);
    SetCloudBottomHeight(layer, 2.0f);
    EXPECT_EQ(Floats().at("cumulusBottomHeight"), -1.0f);
    layer.material = nullptr;
    SetCloudBottomHeight(layer, 5.0f);
    EXPECT_EQ(layer.cover, 1.0f);
}

TEST_F(CloudLayers, AWeatherRecordSetsHeightThenCover)
{
    Build(5);
    uint8_t record[49] = {};
    const int16_t height = 5000, cover = 6;
    std::memcpy(record + 3, &height, 2);
    std::memcpy(record + 7, &cover, 2);

    int16_t value;
    std::memcpy(&value, record + 3, 2);
    SetCloudBottomHeight(layer, static_cast<float>(value * 0.00128));
    std::memcpy(&value, record + 7, 2);
    SetCloudCover(layer, static_cast<float>(value * 0.1));

    EXPECT_EQ(records[0].height, 6.4f);
    EXPECT_EQ(nodes[4].transform.position.y, 6.4f);
    EXPECT_FLOAT_EQ(Floats().at("cumulusBottomHeight"), 3.4f);
    EXPECT_EQ(layer.cover, 0.6f);
    EXPECT_EQ(ShownClouds(), 3u);
}

} // namespace
