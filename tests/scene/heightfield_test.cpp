#include "scene/heightfield.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {
// A 4 x 4 field over x, z in [0, 30] with heights from 10 to 20: cells are
// 10 units wide, so grid coordinates are world coordinates / 10.
struct Field {
    explicit Field(std::vector<uint8_t> bytes, uint32_t count = 16) : data(std::move(bytes))
    {
        description.sampleCount = count;
        field.description = &description;
        field.dataSize = static_cast<uint32_t>(data.size());
        field.data = data.data();
        field.extent = {30, 10, 30};
        field.minCorner = {0, 10, 0};
        field.maxCorner = {30, 20, 30};
        field.width = 4;
        field.depth = 4;
    }
    std::vector<uint8_t> data;
    HeightfieldDescription description;
    Heightfield field;
};

std::vector<uint8_t> Floats(const std::vector<float>& values, size_t stride = 4)
{
    std::vector<uint8_t> bytes(values.size() * stride);
    for (size_t i = 0; i < values.size(); ++i)
        std::memcpy(bytes.data() + i * stride, &values[i], sizeof(float));
    return bytes;
}
} // namespace

TEST(Heightfield, ByteSamplesSpanTheCorners)
{
    Field full(std::vector<uint8_t>(16, 255));
    EXPECT_NEAR(HeightfieldHeight(full.field, 15, 15), 20.0f, 1e-4f);
    Field empty(std::vector<uint8_t>(16, 0));
    EXPECT_FLOAT_EQ(HeightfieldHeight(empty.field, 15, 15), 10.0f);
}

TEST(Heightfield, InterpolatesOverTheTwoTrianglesOfACell)
{
    // Cell (1, 1): s00 = 0.2 at (1, 1), s10 = 0.6 at (2, 1), s01 = 0.4 at (1, 2), s11 = 1.0 at (2, 2).
    std::vector<float> samples(16, 0.0f);
    samples[1 * 4 + 1] = 0.2f;
    samples[1 * 4 + 2] = 0.6f;
    samples[2 * 4 + 1] = 0.4f;
    samples[2 * 4 + 2] = 1.0f;
    Field f(Floats(samples));
    // u = 0.25, v = 0.5: u < v, the triangle holding s01.
    const float low = (1 - 0.5f) * 0.2f + (0.5f - 0.25f) * 0.4f + 0.25f * 1.0f;
    EXPECT_NEAR(HeightfieldHeight(f.field, 12.5f, 15.0f), 10 + 10 * low, 1e-4f);
    // u = 0.5, v = 0.25: the triangle holding s10.
    const float high = (1 - 0.5f) * 0.2f + (0.5f - 0.25f) * 0.6f + 0.25f * 1.0f;
    EXPECT_NEAR(HeightfieldHeight(f.field, 15.0f, 12.5f), 10 + 10 * high, 1e-4f);
    // On the diagonal both formulas agree.
    const float diagonal = (1 - 0.5f) * 0.2f + 0.5f * 1.0f;
    EXPECT_NEAR(HeightfieldHeight(f.field, 15.0f, 15.0f), 10 + 10 * diagonal, 1e-4f);
}

TEST(Heightfield, FirstRowAndColumnAndOutsideGiveTheMinimum)
{
    Field f(std::vector<uint8_t>(16, 128));
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, 5, 15), 10.0f);  // first column of cells
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, 15, 5), 10.0f);  // first row
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, -15, 15), 10.0f);
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, 15, 45), 10.0f);
    EXPECT_GT(HeightfieldHeight(f.field, 25, 25), 10.0f);      // the last cell
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, 30, 15), 10.0f); // its far edge is outside
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, 1e30f, 15), 10.0f);
    EXPECT_FLOAT_EQ(HeightfieldHeight(f.field, std::numeric_limits<float>::quiet_NaN(), 15), 10.0f);
    EXPECT_GT(HeightfieldHeight(f.field, 15, 15), 10.0f);
}

TEST(Heightfield, DamagedFieldsGiveTheMinimumWithoutReadingPastTheData)
{
    Field noCount(std::vector<uint8_t>(16, 200), 0);
    EXPECT_FLOAT_EQ(HeightfieldHeight(noCount.field, 15, 15), 10.0f);

    // The description promises 16 float samples but only 5 are there.
    Field shortData(Floats({1, 1, 1, 1, 1}), 16);
    shortData.field.dataSize = 20;
    shortData.description.sampleCount = 5;
    EXPECT_FLOAT_EQ(HeightfieldHeight(shortData.field, 15, 15), 10.0f);

    // Byte samples, but fewer bytes than the grid needs.
    Field fewBytes(std::vector<uint8_t>(7, 255), 7);
    EXPECT_FLOAT_EQ(HeightfieldHeight(fewBytes.field, 15, 15), 10.0f);

    Field noDescription(std::vector<uint8_t>(16, 255));
    noDescription.field.description = nullptr;
    EXPECT_FLOAT_EQ(HeightfieldHeight(noDescription.field, 15, 15), 10.0f);

    Field narrow(std::vector<uint8_t>(16, 255));
    narrow.field.width = 0;
    EXPECT_FLOAT_EQ(HeightfieldHeight(narrow.field, 15, 15), 10.0f);
}

TEST(Heightfield, TheCurrentFieldOrZero)
{
    SetHeightfield(nullptr);
    EXPECT_EQ(GetHeightfieldHeight(15, 15), 0.0f);
    Field f(std::vector<uint8_t>(16, 255));
    SetHeightfield(&f.field);
    EXPECT_NEAR(GetHeightfieldHeight(15, 15), 20.0f, 1e-4f);
    SetHeightfield(nullptr);
}
