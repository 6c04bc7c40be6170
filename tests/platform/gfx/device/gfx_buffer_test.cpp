#include <gtest/gtest.h>

#include <cstring>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/format.h"
#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;
using platform::testing::BufferBytes;

TEST(GfxBuffer, LocksReachTheBuffersOwnBytesWithinItsSize)
{
    gfx_test::TestDevice test;
    VertexBuffer* buffer = nullptr;
    ASSERT_EQ(kOk, test.device->CreateVertexBuffer(64, kUsageWriteOnly, 0, kPoolDefault, &buffer));
    void* data = nullptr;
    ASSERT_EQ(kOk, buffer->Lock(0, 0, &data, 0));
    std::memset(data, 0x10, 64);
    void* inner = nullptr;
    ASSERT_EQ(kOk, buffer->Lock(16, 8, &inner, 0)); // locks nest
    EXPECT_EQ(static_cast<uint8_t*>(data) + 16, inner);
    std::memset(inner, 0x20, 8);
    EXPECT_EQ(2u, buffer->LockCount());
    EXPECT_EQ(kOk, buffer->Unlock());
    EXPECT_EQ(kOk, buffer->Unlock());
    EXPECT_EQ(kInvalidCall, buffer->Unlock());
    const auto bytes = BufferBytes(*buffer);
    EXPECT_EQ(0x10, bytes[15]);
    EXPECT_EQ(0x20, bytes[16]);
    EXPECT_EQ(0x20, bytes[23]);
    EXPECT_EQ(0x10, bytes[24]);

    EXPECT_EQ(kInvalidCall, buffer->Lock(60, 8, &data, 0));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(kInvalidCall, buffer->Lock(65, 0, &data, 0));
    EXPECT_EQ(kInvalidCall, buffer->Lock(0, 0, &data, kLockDiscard)); // not dynamic
    SafeRelease(buffer);

    ASSERT_EQ(kOk, test.device->CreateVertexBuffer(128, kUsageDynamic, 0, kPoolDefault, &buffer));
    ASSERT_EQ(kOk, buffer->Lock(0, 0, &data, kLockDiscard));
    void* again = nullptr;
    buffer->Unlock();
    ASSERT_EQ(kOk, buffer->Lock(0, 0, &again, kLockDiscard));
    EXPECT_EQ(data, again); // discarding keeps the same memory
    buffer->Unlock();
    SafeRelease(buffer);
}

TEST(GfxBuffer, IndexBuffersKnowTheirIndexSize)
{
    gfx_test::TestDevice test;
    IndexBuffer* sixteen = nullptr;
    IndexBuffer* thirtyTwo = nullptr;
    ASSERT_EQ(kOk, test.device->CreateIndexBuffer(12, kUsageWriteOnly, kFormatIndex16, kPoolDefault, &sixteen));
    ASSERT_EQ(kOk, test.device->CreateIndexBuffer(12, kUsageWriteOnly, kFormatIndex32, kPoolDefault, &thirtyTwo));
    EXPECT_EQ(2u, sixteen->IndexSize());
    EXPECT_EQ(4u, thirtyTwo->IndexSize());
    BufferDesc desc;
    thirtyTwo->GetDesc(&desc);
    EXPECT_EQ(uint32_t{kFormatIndex32}, desc.format);
    EXPECT_EQ(12u, desc.size);
    EXPECT_EQ(uint32_t{kPoolDefault}, desc.pool);
    IndexBuffer* bad = reinterpret_cast<IndexBuffer*>(1);
    EXPECT_EQ(kInvalidCall, test.device->CreateIndexBuffer(12, 0, kFormatA8R8G8B8, kPoolDefault, &bad));
    EXPECT_EQ(nullptr, bad);
    EXPECT_EQ(kInvalidCall, test.device->CreateIndexBuffer(0, 0, kFormatIndex16, kPoolDefault, &bad));
    EXPECT_EQ(kInvalidCall, test.device->CreateIndexBuffer(12, kUsageDynamic, kFormatIndex16, kPoolManaged, &bad));
    SafeRelease(sixteen);
    SafeRelease(thirtyTwo);
}

namespace {

// The per-instance world matrix every new declaration starts with.
std::vector<VertexElement> InstanceMatrix()
{
    std::vector<VertexElement> elements;
    for (uint8_t row = 0; row < 4; ++row) {
        elements.push_back({1, static_cast<uint16_t>(16 * row), kDeclFloat4, kDeclMethodDefault, kDeclUsageTexcoord,
                            static_cast<uint8_t>(row + 1)});
    }
    return elements;
}

} // namespace

TEST(GfxBuffer, DeclarationSizesArePerStreamAndStopAtTheTerminator)
{
    std::vector<VertexElement> elements = InstanceMatrix();
    elements.push_back(kDeclEnd);
    EXPECT_EQ(64u, DeclVertexSize(elements.data(), 1));
    EXPECT_EQ(0u, DeclVertexSize(elements.data(), 0));

    std::vector<VertexElement> mesh = InstanceMatrix();
    mesh.push_back({0, 0, kDeclFloat3, 0, kDeclUsagePosition, 0});
    mesh.push_back({0, 12, kDeclColor, 0, kDeclUsageColor, 0});
    mesh.push_back({0, 16, kDeclShort4N, 0, kDeclUsageNormal, 0});
    mesh.push_back({0, 24, kDeclFloat16x2, 0, kDeclUsageTexcoord, 0});
    mesh.push_back(kDeclEnd);
    mesh.push_back({0, 200, kDeclFloat4, 0, kDeclUsageTangent, 0}); // behind the terminator: not read
    EXPECT_EQ(28u, DeclVertexSize(mesh.data(), 0));
    EXPECT_EQ(64u, DeclVertexSize(mesh.data(), 1));

    const VertexElement endOnly[] = {kDeclEnd};
    EXPECT_EQ(0u, DeclVertexSize(endOnly, 0));
    EXPECT_EQ(0u, DeclVertexSize(nullptr, 0));
    EXPECT_EQ(16u, DeclTypeSize(kDeclFloat4));
    EXPECT_EQ(8u, DeclTypeSize(kDeclUShort4N));
    EXPECT_EQ(0u, DeclTypeSize(kDeclUnused));

    // Offsets are the element's start, not its order: a later element may sit earlier.
    const VertexElement shuffled[] = {{0, 8, kDeclFloat2, 0, kDeclUsageTexcoord, 0},
                                      {0, 0, kDeclFloat2, 0, kDeclUsagePosition, 0},
                                      kDeclEnd};
    EXPECT_EQ(16u, DeclVertexSize(shuffled, 0));
}

TEST(GfxBuffer, DeclarationsAreCheckedAndGiveTheirElementsBack)
{
    gfx_test::TestDevice test;
    std::vector<VertexElement> elements = InstanceMatrix();
    elements.push_back({0, 0, kDeclFloat3, 0, kDeclUsagePosition, 0});
    elements.push_back(kDeclEnd);
    VertexDeclaration* declaration = nullptr;
    ASSERT_EQ(kOk, test.device->CreateVertexDeclaration(elements.data(), &declaration));
    uint32_t count = 0;
    ASSERT_EQ(kOk, declaration->GetDeclaration(nullptr, &count));
    EXPECT_EQ(6u, count);
    std::vector<VertexElement> back(count);
    ASSERT_EQ(kOk, declaration->GetDeclaration(back.data(), &count));
    EXPECT_EQ(0, std::memcmp(elements.data(), back.data(), sizeof(VertexElement) * count));
    EXPECT_TRUE(declaration->ReadsStream(1));
    EXPECT_FALSE(declaration->ReadsStream(2));
    SafeRelease(declaration);

    const VertexElement onlyEnd[] = {kDeclEnd};
    ASSERT_EQ(kOk, test.device->CreateVertexDeclaration(onlyEnd, &declaration));
    SafeRelease(declaration);

    const VertexElement duplicate[] = {{0, 0, kDeclFloat3, 0, kDeclUsagePosition, 0},
                                       {0, 12, kDeclFloat3, 0, kDeclUsagePosition, 0},
                                       kDeclEnd};
    EXPECT_EQ(kInvalidCall, test.device->CreateVertexDeclaration(duplicate, &declaration));
    EXPECT_EQ(nullptr, declaration);
    const VertexElement misaligned[] = {{0, 2, kDeclFloat3, 0, kDeclUsagePosition, 0}, kDeclEnd};
    EXPECT_EQ(kInvalidCall, test.device->CreateVertexDeclaration(misaligned, &declaration));
    std::vector<VertexElement> endless(kMaxDeclElements + 1);
    for (uint32_t i = 0; i < endless.size(); ++i) {
        endless[i] = {0, static_cast<uint16_t>(4 * i), kDeclFloat1, 0, kDeclUsageTexcoord, static_cast<uint8_t>(i)};
    }
    EXPECT_EQ(kInvalidCall, test.device->CreateVertexDeclaration(endless.data(), &declaration));
}

TEST(GfxBuffer, NewResourcesReadZeroEvenWhereAnEarlierOneWasWritten)
{
    gfx_test::TestDevice test;
    for (uint32_t length : {64u, 4096u, 300000u}) {
        for (int round = 0; round < 3; ++round) {
            VertexBuffer* buffer = nullptr;
            ASSERT_EQ(kOk, test.device->CreateVertexBuffer(length, 0, 0, kPoolSystemMem, &buffer));
            const auto bytes = BufferBytes(*buffer);
            for (uint8_t b : bytes)
                ASSERT_EQ(0, b) << "length " << length << " round " << round;
            std::memset(bytes.data(), 0xAB, bytes.size());
            SafeRelease(buffer);
        }
    }
    for (uint32_t side : {4u, 256u}) {
        for (int round = 0; round < 3; ++round) {
            Texture* texture = nullptr;
            ASSERT_EQ(kOk, test.device->CreateTexture(side, side, 0, 0, kFormatA8R8G8B8, kPoolSystemMem, &texture));
            const auto bytes = platform::testing::TextureBytes(*texture);
            for (uint8_t b : bytes)
                ASSERT_EQ(0, b) << "side " << side << " round " << round;
            std::memset(bytes.data(), 0xCD, bytes.size());
            SafeRelease(texture);
        }
    }
}
