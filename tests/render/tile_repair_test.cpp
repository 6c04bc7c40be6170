// Tile textures and their repair: the file names a rebuild gives each tile,
// the lists' release, the "FTTFixMe" task with and without a tile set, and a
// pooled part whose texels never arrived leading, through the real threads,
// to every tile being loaded again with its file's bytes in the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kernel/rs_hash.h"
#include "platform/gfx/device/format.h"
#include "render/device/texture_upload_module.h"
#include "render/resources/material.h"
#include "render/textures/texture_pool.h"
#include "render/textures/tile_texture_repair.h"
#include "render/textures/tile_textures.h"
#include "testing/dds_writer.h"
#include "tests/render/texture_run.h"

namespace {

using platform::testing::DdsSpec;
using platform::testing::PatternTexels;
using platform::testing::WriteDds;
using texture_test::Bytes;
using texture_test::WriteFile;

const DdsSpec kTileImage{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 1};

class TileTextures : public texture_test::TextureRun {
protected:
    void SetUp() override
    {
        TextureRun::SetUp();
        // A test before may have ended the render thread and its modules.
        if (!GetFixHandler())
            AttachFixHandler(GetRenderThread());
        MakeUniqueMaterial(material);
        set.material = &material;
        set.textureParam = "tileMap";
    }
    void TearDown() override { RegisterTileSet(nullptr); }

    // Levels of the given tile counts, in order.
    void MakeLevels(const std::vector<uint32_t>& counts)
    {
        for (uint32_t count : counts) {
            set.levels.emplace_back();
            for (uint32_t j = 0; j < count; ++j) {
                tiles.push_back(std::make_unique<Tile>());
                set.levels.back().push_back(tiles.back().get());
            }
        }
    }

    std::string NameOf(size_t level, size_t j) { return set.levels[level][j]->textureList.names.at(0); }

    size_t Count(const std::string& line) const
    {
        const std::string out = run.Out();
        size_t count = 0;
        for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1))
            ++count;
        return count;
    }

    MaterialResource material;
    std::vector<std::unique_ptr<Tile>> tiles;
    TileSet set; // after the tiles: goes first
};

TEST_F(TileTextures, EachTileIsNamedByItsLevelAndItsMirroredIndex)
{
    MakeLevels({16, 10, 1, 0});
    set.topLevel = 5;
    TextureResource* slot = material.textureSlots.GetTextureSlot("tileMap");
    ASSERT_NE(slot, nullptr);
    slot->CreateUnique();
    set.RebuildTileTextures("terrain/t");

    // Level 0, 4 by 4: columns mirrored within each row.
    const std::vector<std::string> level0 = {"3", "2", "1", "0", "7", "6", "5", "4",
                                             "11", "10", "9", "8", "15", "14", "13", "12"};
    for (size_t j = 0; j < 16; ++j)
        EXPECT_EQ(NameOf(0, j), "terrain/t5_" + level0[j] + ".dds") << j;
    // 10 tiles: side 3; tile 9 is row 3, column 0, index 11, beyond the grid.
    EXPECT_EQ(NameOf(1, 0), "terrain/t4_2.dds");
    EXPECT_EQ(NameOf(1, 4), "terrain/t4_4.dds");
    EXPECT_EQ(NameOf(1, 9), "terrain/t4_11.dds");
    EXPECT_EQ(NameOf(2, 0), "terrain/t3_0.dds");

    // Level 0 is bound to the material's texture; the others to nothing.
    Tile& first = *set.levels[0][0];
    EXPECT_EQ(first.textureList.ids, std::vector<uint32_t>{slot->GetId()});
    EXPECT_EQ(first.texture.GetBlock(), slot->GetBlock());
    Tile& other = *set.levels[1][0];
    EXPECT_EQ(other.textureList.ids, std::vector<uint32_t>{0});
    EXPECT_FALSE(other.texture.IsValid());
    ASSERT_EQ(other.textureList.textures.size(), 1u);
    EXPECT_EQ(other.textureList.textures[0], &other.texture);

    // A second rebuild replaces each list instead of adding to it.
    set.RebuildTileTextures("terrain/u");
    EXPECT_EQ(first.textureList.names, std::vector<std::string>{"terrain/u5_3.dds"});
    EXPECT_EQ(first.texture.GetBlock(), slot->GetBlock());
    EXPECT_EQ(run.Out(), "");
}

TEST_F(TileTextures, CopiesCarryTheTilesLoadOptionsButNoBlock)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 64, 64, gfx::kFormatDXT1, 1));
    MakeLevels({0, 1});
    Tile& tile = *set.levels[1][0];
    tile.texture.pool = gfx::kPoolSystemMem;
    tile.texture.loadFlags = 64;
    tile.texture.texturePool = &pool;
    tile.texture.poolIndex = 7;
    tile.texture.async = 0;
    set.RebuildTileTextures("t");
    ASSERT_EQ(tile.textureList.copies.size(), 1u);
    const TextureResource& copy = *tile.textureList.copies[0];
    EXPECT_EQ(copy.pool, gfx::kPoolSystemMem);
    EXPECT_EQ(copy.loadFlags, 64u);
    EXPECT_EQ(copy.texturePool, &pool);
    EXPECT_EQ(copy.poolIndex, 7);
    EXPECT_EQ(copy.async, 1);
    EXPECT_FALSE(tile.textureList.copies[0]->IsValid());
}

TEST_F(TileTextures, RebuildingFreesTheFirstPoolAndTheSecondOnlyWhenUsed)
{
    TexturePool first, second;
    ASSERT_TRUE(BuildTexturePool(first, 2, 64, 64, gfx::kFormatDXT1, 1));
    ASSERT_TRUE(BuildTexturePool(second, 1, 64, 64, gfx::kFormatDXT1, 1));
    set.firstPool = &first;
    set.secondPool = &second;
    MakeLevels({0}); // a level without tiles still lets the pools be reset
    for (TextureResource* entry : {&first.videoEntries[1], &first.systemEntries[0], &second.videoEntries[0]})
        entry->SetState(2);
    set.RebuildTileTextures("t");
    EXPECT_EQ(first.videoEntries[1].GetState(), 0u);
    EXPECT_EQ(first.systemEntries[0].GetState(), 0u);
    EXPECT_EQ(second.videoEntries[0].GetState(), 2u);
    set.useSecondPool = 1;
    set.RebuildTileTextures("t");
    EXPECT_EQ(second.videoEntries[0].GetState(), 0u);
}

TEST_F(TileTextures, ReleasingGivesBackLoadedTilesAndAttachesThemBackToTheirIds)
{
    WriteFile("plain.dds", WriteDds(kTileImage, 3));
    TextureResource bound, own;
    bound.CreateUnique();
    const uint32_t boundId = bound.GetId();
    TextureResource shown, loose;
    TileTextureSet list;
    list.AddTileTexture(&shown, "plain.dds", boundId);
    list.AddTileTexture(&loose, "never.dds", 0);
    EXPECT_EQ(shown.GetBlock(), bound.GetBlock());
    list.flags[1] = 1;
    list.counter = 9;

    // The first entry's file is loaded (on this thread: no engine threads) and shown.
    TextureResource& copy = *list.copies[0];
    ASSERT_TRUE(copy.LoadByName("plain.dds"));
    ASSERT_EQ(copy.GetState(), 2u);
    ASSERT_TRUE(shown.AttachById(RSHash("plain.dds")));
    const std::vector<uint8_t> level0 = PatternTexels(kTileImage, 3);
    const std::vector<uint8_t> shownBytes = Bytes(shown.GetPayload()->texture);
    ASSERT_GE(shownBytes.size(), level0.size());
    EXPECT_TRUE(std::equal(level0.begin(), level0.end(), shownBytes.begin())) << "level 0 is the file's";
    // The second's copy was never loaded: its texture keeps what it holds.
    own.CreateUnique();
    loose.AttachById(own.GetId());

    list.ReleaseTileTextures();
    EXPECT_EQ(TextureResource::RegisteredBlock(RSHash("plain.dds")), nullptr) << "the file's texture is gone";
    EXPECT_EQ(shown.GetBlock(), bound.GetBlock()) << "attached back to its id";
    EXPECT_EQ(loose.GetBlock(), own.GetBlock());
    EXPECT_TRUE(list.copies.empty());
    EXPECT_TRUE(list.textures.empty());
    EXPECT_TRUE(list.names.empty());
    EXPECT_TRUE(list.ids.empty());
    EXPECT_EQ(list.flags[1], 0);
    EXPECT_EQ(list.counter, 0u);
    list.ReleaseTileTextures(); // an empty list: nothing to do
}

TEST_F(TileTextures, ReleasingAFailedPooledTileFreesItsEntry)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 64, 64, gfx::kFormatDXT1, 1));
    TextureResource tile;
    tile.texturePool = &pool;
    TileTextureList list;
    list.AddTileTexture(&tile, "failed.dds", 0);
    TextureResource& copy = *list.copies[0];
    // As a failed part upload leaves it: the entry shared, its state 0.
    ASSERT_TRUE(copy.AttachById(pool.videoEntries[0].GetId()));
    ASSERT_TRUE(tile.AttachById(copy.GetId()));
    copy.SetState(0);
    // The parts after the failed one are still queued and point into the copy.
    GetQueueRegistry()->ResetQueues();
    TaskBatch* batch = GetQueueRegistry()->AllocQueue(0);
    TextureBlock* block = copy.GetBlock();
    batch->PushTask(UploadTexPartTask(0, 0, 64, 64, kLastPart, &copy.fileBuffer, &block->payload.texture,
                                      &pool.systemEntries[0].GetPayload()->texture, block),
                    GetRenderThread(), "up");
    copy.pendingBatch = MarkLoadChain(batch);
    EXPECT_EQ(FindFreePoolEntry(pool), -1);
    list.ReleaseTileTextures();
    EXPECT_FALSE(tile.IsValid());
    EXPECT_EQ(FindFreePoolEntry(pool), 0);
    EXPECT_EQ(batch->tasks.Front().cancelled.load(), 1) << "nothing may run on the copy once it is gone";
    GetQueueRegistry()->ResetQueues();
}

TEST_F(TileTextures, WithoutATileSetEachRepairOnlySaysItFailed)
{
    TileFixModule* module = GetFixHandler();
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(zandrel_test::ModuleAttached(GetRenderThread(), module));
    EXPECT_TRUE(module->owned);
    module->RegisterHandlers();
    ASSERT_TRUE(module->HasHandler(RSHash("FTTFixMe")));
    TaskMessage task;
    task.taskId = RSHash("FTTFixMe");
    module->Dispatch(&task);
    module->Dispatch(&task);
    EXPECT_EQ(run.Out(), "FTTFixMe failed\nFTTFixMe failed\n");
}

TEST_F(TileTextures, AFailedPartUploadHasEveryTileLoadedAgain)
{
    std::filesystem::create_directories(texture_test::FilesFolder() / "tiles");
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 5, 64, 64, gfx::kFormatDXT1, 1));
    MakeLevels({1, 4});
    set.topLevel = 1;
    set.baseName = "tiles/t";
    set.firstPool = &pool;
    for (auto& tile : tiles)
        tile->texture.texturePool = &pool;
    const std::vector<std::string> names = {"tiles/t1_0.dds", "tiles/t0_1.dds", "tiles/t0_0.dds", "tiles/t0_3.dds",
                                            "tiles/t0_2.dds"};
    for (uint32_t i = 0; i < names.size(); ++i)
        WriteFile(names[i], WriteDds(kTileImage, 40 + i));
    RegisterTileSet(&set);

    // What the tile set's streaming does each frame: load every tile not yet
    // asked for and show it.
    auto stream = [&] {
        for (auto& tile : tiles) {
            TileTextureList& list = tile->textureList;
            for (size_t i = 0; i < list.copies.size(); ++i) {
                if (list.copies[i]->IsValid())
                    continue;
                list.copies[i]->LoadByName(list.names[i]);
                list.textures[i]->AttachById(list.copies[i]->GetId());
            }
        }
    };
    Tile& failing = *set.levels[1][0];
    bool allLoaded = false;
    RunThreads([&](int round) {
        if (round == 1) {
            set.RebuildTileTextures(set.baseName);
            stream();
            // The read of one tile never delivers its texels: its first part
            // finds the system-memory texture without them.
            TextureResource& copy = *failing.textureList.copies[0];
            EXPECT_TRUE(CancelLoadChain(copy.pendingBatch));
            TextureBlock* block = copy.GetBlock();
            TaskMessage part = UploadTexPartTask(
                0, 0, 64, 64, kLastPart, &copy.fileBuffer, &block->payload.texture,
                &pool.systemEntries[copy.poolIndex].GetPayload()->texture, block);
            GetRenderer()->Uploads().UploadTexPartToVRAM(&part);
            EXPECT_EQ(failing.texture.GetState(), 0u);
            return false;
        }
        stream();
        allLoaded = Count("fixed?\n") == 1;
        for (auto& tile : tiles)
            allLoaded = allLoaded && tile->texture.GetState() == 2;
        return allLoaded && Idle();
    });
    ASSERT_TRUE(allLoaded);
    EXPECT_EQ(Count("RECOVERING FROM BUG\n"), 1u);
    EXPECT_EQ(Count("FIXING...\n"), 1u);
    EXPECT_EQ(run.Out().find("FTTFixMe failed"), std::string::npos);
    EXPECT_LT(run.Out().find("RECOVERING FROM BUG\n"), run.Out().find("FIXING...\n"));
    EXPECT_LT(run.Out().find("FIXING...\n"), run.Out().find("fixed?\n"));
    // Every tile again holds its own file's texels, read back from the device.
    std::vector<Tile*> order = {set.levels[0][0], set.levels[1][0], set.levels[1][1], set.levels[1][2],
                                set.levels[1][3]};
    for (uint32_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i]->texture.GetId(), RSHash(names[i])) << names[i];
        EXPECT_EQ(Bytes(order[i]->texture.GetPayload()->texture), PatternTexels(kTileImage, 40 + i)) << names[i];
    }
    EXPECT_EQ(Count("Out of textures in texture pool..."), 0u) << "the failed tile's entry was given back";
    EXPECT_TRUE(run.Boxes().empty());
}

} // namespace
