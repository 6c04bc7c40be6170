// Index and vertex buffers: the index size at the boundaries of what 16-bit
// indices address, counts, re-allocation, release and failed creation.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/resources/index_buffer.h"
#include "render/resources/vertex_buffer.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/device_fixture.h"

using render_test::DeviceRun;

namespace {

class Buffers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.Start()); }

    DeviceRun run;
};

} // namespace

TEST_F(Buffers, SixteenBitIndicesOnlyWhileTheyAddressEveryVertex)
{
    struct Case {
        uint32_t vertices;
        bool wide;
    };
    for (const Case c : {Case{1, false}, Case{65535, false}, Case{65536, false}, Case{65537, true},
                         Case{196604, true}, Case{196605, true}}) {
        IndexBufferData data;
        EXPECT_EQ(data.AllocIndexBuffer(6, c.vertices, gfx::kUsageWriteOnly), c.wide) << c.vertices;
        ASSERT_NE(data.buffer, nullptr);
        EXPECT_EQ(data.indexSize, c.wide ? 4 : 2);
        EXPECT_EQ(data.buffer->Format(), c.wide ? gfx::kFormatIndex32 : gfx::kFormatIndex16);
        EXPECT_EQ(data.buffer->Size(), 6u * data.indexSize);
        data.FreeIndexBuffer();
    }
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 0);
}

TEST_F(Buffers, PrimitiveCountFollowsTheIndicesPerPrimitive)
{
    IndexBufferData data;
    EXPECT_EQ(data.indicesPerPrimitive, 3);
    data.AllocIndexBuffer(9, 10, gfx::kUsageWriteOnly);
    EXPECT_EQ(data.primitiveCount, 3u);
    data.indicesPerPrimitive = 2;
    data.AllocIndexBuffer(7, 10, gfx::kUsageWriteOnly);
    EXPECT_EQ(data.indexCount, 7u);
    EXPECT_EQ(data.primitiveCount, 3u);
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 14); // the first buffer was given back
    EXPECT_TRUE(data.FreeIndexBuffer());
    EXPECT_EQ(data.buffer, nullptr);
    EXPECT_TRUE(data.FreeIndexBuffer()); // nothing left to release
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 0);
}

TEST_F(Buffers, LockedIndicesReachTheBuffer)
{
    IndexBufferData data;
    data.AllocIndexBuffer(3, 3, gfx::kUsageWriteOnly);
    auto* indices = static_cast<uint16_t*>(data.LockIndexBuffer(0));
    ASSERT_NE(indices, nullptr);
    indices[0] = 2;
    indices[1] = 1;
    indices[2] = 0;
    data.UnlockIndexBuffer();
    EXPECT_EQ(data.buffer->LockCount(), 0u);
    const auto bytes = platform::testing::BufferBytes(*data.buffer);
    const uint8_t expected[] = {2, 0, 1, 0, 0, 0};
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(bytes.data(), expected, sizeof expected), 0);
}

TEST_F(Buffers, AFailedIndexBufferIsReportedAndCannotBeLocked)
{
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateIndexBuffer", gfx::kOutOfVideoMemory);
    IndexBufferData data;
    EXPECT_FALSE(data.AllocIndexBuffer(30, 100, gfx::kUsageWriteOnly));
    EXPECT_EQ(data.buffer, nullptr);
    EXPECT_EQ(data.indexCount, 30u);
    EXPECT_EQ(data.LockIndexBuffer(0), nullptr);
    data.UnlockIndexBuffer();
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Error creating index buffer.\n"));
}

TEST_F(Buffers, VertexBuffersKeepCountAndStrideAndReleaseOnce)
{
    VertexBufferData data;
    ASSERT_TRUE(data.AllocVertexBuffer(10, 32, gfx::kUsageWriteOnly));
    EXPECT_EQ(data.vertexCount, 10u);
    EXPECT_EQ(data.stride, 32u);
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 320);
    ASSERT_TRUE(data.AllocVertexBuffer(4, 16, 0));
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 64);
    auto* floats = static_cast<float*>(data.LockVertexBuffer(0));
    ASSERT_NE(floats, nullptr);
    floats[15] = 1.5f;
    data.UnlockVertexBuffer();
    float last = 0.0f;
    std::memcpy(&last, platform::testing::BufferBytes(*data.buffer).data() + 60, 4);
    EXPECT_EQ(last, 1.5f);

    EXPECT_TRUE(data.FreeVertexBuffer());
    EXPECT_TRUE(data.FreeVertexBuffer());
    EXPECT_EQ(data.buffer, nullptr);
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 0);
}

TEST_F(Buffers, AFailedVertexBufferIsSeenByItsCaller)
{
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateVertexBuffer", gfx::kOutOfVideoMemory);
    VertexBufferData data;
    EXPECT_FALSE(data.AllocVertexBuffer(10, 32, 0));
    EXPECT_EQ(data.buffer, nullptr);
    EXPECT_EQ(data.LockVertexBuffer(0), nullptr);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Error creating vertex buffer.\n"));
}

TEST_F(Buffers, CopiesTakeTheFiguresButNoBuffer)
{
    IndexBufferData source;
    source.subsetScalar = 1000.0f;
    source.AllocIndexBuffer(6, 4, 0);
    IndexBufferData copy(source);
    EXPECT_EQ(copy.buffer, nullptr);
    EXPECT_EQ(copy.indexCount, 6u);
    EXPECT_EQ(copy.subsetScalar, 1000.0f);
    VertexBufferData vertices;
    vertices.AllocVertexBuffer(2, 8, 0);
    VertexBufferData other;
    other = vertices;
    EXPECT_EQ(other.buffer, nullptr);
    EXPECT_EQ(other.stride, 8u);
}

TEST_F(Buffers, IndexBufferHandlesKeepTheirLockAndGiveTheBufferBackWithTheBlock)
{
    IndexBufferResource subset;
    EXPECT_FALSE(subset.AllocIndexBuffer(3, 3, 0)); // no block yet: nothing to hold it
    EXPECT_EQ(subset.LockIndexBuffer(0), nullptr);
    subset.CreateUnique();
    subset.SetState(resource_state::kLoaded);
    EXPECT_TRUE(subset.AllocIndexBuffer(6, 70000, gfx::kUsageWriteOnly));
    void* locked = subset.LockIndexBuffer(0);
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(subset.lockPointer, locked);
    subset.UnlockIndexBuffer();
    EXPECT_EQ(subset.GetPayload()->indexSize, 4);
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 24);
    subset.ReleaseResource();
    EXPECT_FALSE(subset.IsValid());
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 0);
}

TEST_F(Buffers, VertexBufferHandlesLoadNothingByNameAndReleaseTheirBuffer)
{
    VertexBufferResource vertices;
    EXPECT_TRUE(vertices.LoadByName("shared.vb"));
    EXPECT_EQ(vertices.GetState(), resource_state::kLoading); // nothing loads it
    vertices.SetState(resource_state::kLoaded);
    ASSERT_TRUE(vertices.AllocVertexBuffer(8, 12, 0));
    void* locked = vertices.LockVertexBuffer(0);
    EXPECT_NE(locked, nullptr);
    EXPECT_EQ(vertices.lockPointer, locked);
    vertices.UnlockVertexBuffer();

    VertexBufferResource other;
    EXPECT_FALSE(other.LoadByName("shared.vb"));
    EXPECT_EQ(other.GetPayload()->vertexCount, 8u);
    vertices.ReleaseResource();
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 96);
    other.ReleaseResource();
    EXPECT_EQ(GetRenderer()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 0);
    EXPECT_EQ(run.Out().find("Sick my duck"), std::string::npos);
}
