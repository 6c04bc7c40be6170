// Vertex declarations: the instance matrix rows of a new one, strides, usage
// offsets, lazy rebuilding and the device declaration's life.
#include <gtest/gtest.h>

#include "render/resources/vertex_declaration.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/device_fixture.h"

using render_test::DeviceRun;

namespace {

class VertexDecl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.Start()); }

    DeviceRun run;
};

bool Same(const gfx::VertexElement& a, const gfx::VertexElement& b)
{
    return a.stream == b.stream && a.offset == b.offset && a.type == b.type && a.method == b.method &&
           a.usage == b.usage && a.usageIndex == b.usageIndex;
}

} // namespace

TEST_F(VertexDecl, ANewOneHoldsTheInstanceMatrixInStream1)
{
    VertexDeclData decl;
    EXPECT_EQ(decl.dirty, 1);
    EXPECT_EQ(decl.elementsAdded, 0);
    EXPECT_EQ(decl.usageOffsets, (std::map<uint32_t, uint32_t>{{gfx::kDeclUsageTexcoord, 48}}));
    EXPECT_EQ(decl.GetStreamStride(1), 64u);
    EXPECT_EQ(decl.GetStreamStride(0), 0u);
    EXPECT_EQ(decl.dirty, 0);
    for (uint16_t row = 0; row < 4; ++row) {
        const gfx::VertexElement expected{1, static_cast<uint16_t>(16 * row), gfx::kDeclFloat4, 0, gfx::kDeclUsageTexcoord,
                                          static_cast<uint8_t>(row + 1)};
        EXPECT_TRUE(Same(decl.elementArray[row], expected)) << row;
    }
    EXPECT_TRUE(Same(decl.elementArray[4], gfx::kDeclEnd));
    EXPECT_EQ(decl.RebuildVertexDecl(), 64);
}

TEST_F(VertexDecl, AddedElementsFollowTheRowsAndSetTheStream0Stride)
{
    VertexDeclData decl;
    decl.AddVertexElement(0, 0, gfx::kDeclFloat3, 0, gfx::kDeclUsagePosition, 0);
    decl.AddVertexElement(0, 12, gfx::kDeclFloat3, 0, gfx::kDeclUsageNormal, 0);
    uint32_t& entry = decl.AddVertexElement(0, 24, gfx::kDeclFloat2, 0, gfx::kDeclUsageTexcoord, 0);
    EXPECT_EQ(decl.elementsAdded, 1);
    EXPECT_EQ(decl.elements.size(), 7u);
    EXPECT_EQ(decl.elements[4].usage, gfx::kDeclUsagePosition);
    EXPECT_EQ(entry, 24u); // the latest TEXCOORD replaces the matrix rows' 48
    EXPECT_EQ(&entry, &decl.usageOffsets[gfx::kDeclUsageTexcoord]);
    EXPECT_EQ(decl.usageOffsets.size(), 3u);
    EXPECT_EQ(decl.GetStreamStride(0), 32u);
    decl.strideExtra = 4;
    EXPECT_EQ(decl.GetStreamStride(0), 36u);
    EXPECT_EQ(decl.GetStreamStride(1), 68u);
    EXPECT_EQ(decl.GetStreamStride(2), 0u); // only streams 0 and 1 exist
    EXPECT_EQ(decl.GetStreamStride(0xFFFFFFFFu), 0u);
}

TEST_F(VertexDecl, ClearingLeavesOnlyTheTerminator)
{
    VertexDeclData decl;
    decl.ClearVertexDecl();
    EXPECT_TRUE(decl.usageOffsets.empty());
    EXPECT_EQ(decl.GetStreamStride(0), 0u);
    EXPECT_EQ(decl.GetStreamStride(1), 0u);
    EXPECT_TRUE(Same(decl.elementArray[0], gfx::kDeclEnd));
    decl.AddVertexElement(0, 0, gfx::kDeclColor, 0, gfx::kDeclUsageColor, 0);
    decl.AddVertexElement(0, 4, gfx::kDeclColor, 0, gfx::kDeclUsageColor, 1);
    EXPECT_EQ(decl.usageOffsets.at(gfx::kDeclUsageColor), 4u);
    EXPECT_EQ(decl.GetStreamStride(0), 8u);
}

TEST_F(VertexDecl, TheDeviceDeclarationIsMadeLazilyAndRemadeAfterAChange)
{
    platform::testing::GfxCallRecord record;
    VertexDeclData decl;
    gfx::VertexDeclaration* first = decl.GetVertexDecl();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(decl.GetVertexDecl(), first);
    EXPECT_EQ(record.Count("CreateVertexDeclaration"), 1u);
    EXPECT_EQ(first->Elements().size(), 4u);

    first->AddRef(); // keep it to see the rebuild give up its own reference
    decl.AddVertexElement(0, 0, gfx::kDeclFloat3, 0, gfx::kDeclUsagePosition, 0);
    EXPECT_EQ(decl.declaration, first); // only marked so far
    EXPECT_EQ(decl.GetStreamStride(0), 12u);
    EXPECT_EQ(decl.declaration, nullptr);
    EXPECT_EQ(first->RefCount(), 1u);
    gfx::VertexDeclaration* second = decl.GetVertexDecl();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->Elements().size(), 5u);
    first->Release();

    decl.Unload();
    EXPECT_EQ(decl.declaration, nullptr);
    EXPECT_EQ(decl.elementArray, nullptr);
}

TEST_F(VertexDecl, AFailedCreationGivesNullQuietlyAndIsTriedAgain)
{
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateVertexDeclaration", gfx::kOutOfMemory);
    VertexDeclData decl;
    EXPECT_EQ(decl.GetVertexDecl(), nullptr);
    EXPECT_NE(decl.GetVertexDecl(), nullptr);
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(VertexDecl, ACopyTakesTheListButNotTheDeviceDeclaration)
{
    VertexDeclData source;
    source.AddVertexElement(0, 0, gfx::kDeclFloat3, 0, gfx::kDeclUsagePosition, 0);
    ASSERT_NE(source.GetVertexDecl(), nullptr);
    VertexDeclData copy;
    copy = source;
    EXPECT_EQ(copy.declaration, nullptr);
    EXPECT_EQ(copy.dirty, 1);
    EXPECT_EQ(copy.elements.size(), 5u);
    EXPECT_EQ(copy.elementsAdded, 1);
    gfx::VertexDeclaration* own = copy.GetVertexDecl();
    EXPECT_NE(own, nullptr);
    EXPECT_NE(own, source.declaration);
    EXPECT_EQ(copy.GetStreamStride(0), 12u);
}

TEST_F(VertexDecl, HandlesOfOneNameShareTheDeclarationAndTheLastReleasesIt)
{
    VertexDeclResource first;
    EXPECT_TRUE(first.LoadByName("meshDecl"));
    EXPECT_EQ(first.GetState(), resource_state::kLoaded); // named, nothing read
    EXPECT_EQ(first.GetStreamStride(1), 64u);
    first.AddVertexElement(0, 0, gfx::kDeclFloat3, 0, gfx::kDeclUsagePosition, 0);

    VertexDeclResource second;
    EXPECT_FALSE(second.LoadByName("meshDecl")); // joins the block
    EXPECT_EQ(second.GetStreamStride(0), 12u);
    gfx::VertexDeclaration* declaration = second.GetVertexDecl();
    ASSERT_NE(declaration, nullptr);
    EXPECT_EQ(first.GetVertexDecl(), declaration);
    declaration->AddRef();

    first.ReleaseResource();
    EXPECT_EQ(declaration->RefCount(), 2u); // the other handle still holds it
    second.ReleaseResource();
    EXPECT_EQ(declaration->RefCount(), 1u);
    declaration->Release();
    EXPECT_EQ(run.Out().find("Sick my duck"), std::string::npos);
}

TEST_F(VertexDecl, AHandleWithoutABlockChangesNothing)
{
    VertexDeclResource empty;
    EXPECT_EQ(empty.GetVertexDecl(), nullptr);
    EXPECT_EQ(empty.GetStreamStride(1), 0u);
    EXPECT_EQ(empty.RebuildVertexDecl(), 0);
    empty.ClearVertexDecl();
    EXPECT_EQ(empty.AddVertexElement(0, 8, gfx::kDeclFloat1, 0, gfx::kDeclUsageFog, 0), 8u);
    EXPECT_FALSE(empty.IsValid());

    VertexDeclResource unique;
    unique.CreateUnique();
    EXPECT_EQ(unique.GetStreamStride(1), 64u);
    VertexDeclResource copy;
    copy.CreateUnique();
    copy.ClearVertexDecl();
    unique.CopyPayloadTo(copy);
    EXPECT_EQ(copy.GetStreamStride(1), 64u);
    unique.SetState(resource_state::kLoaded);
    copy.SetState(resource_state::kLoaded);
}
