// The seed files of the scene-file fuzz target, made by the real writer and by
// hand. Run with ZANDREL_WRITE_SCENE_SEEDS=1 to write them into the source
// tree; every run checks that the committed seeds still read as they should.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/message_box_script.h"
#include "tests/render/device_fixture.h"
#include "tests/render/effect_test_support.h"
#include "tests/render/scene_file_support.h"
#include "tests/render/texture_test_support.h"

namespace {

namespace fs = std::filesystem;

struct Seed {
    std::string name;
    Bytes bytes;
    int nodes; // -1: the file is refused
};

Bytes FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Seed> MakeSeeds(effect_test::EffectFolder& folder)
{
    std::vector<Seed> seeds;
    std::ofstream(folder.dir / "stone.tga", std::ios::binary) << [] {
        const Bytes tga = texture_test::Tga32(2, 2, texture_test::Picture(2, 2));
        return std::string(tga.begin(), tga.end());
    }();
    {
        Scene scene;
        BuildScene(scene);
        scene.SaveToFile("full.ids");
    }
    const Bytes full = FileBytes(folder.dir / "full.ids");
    seeds.push_back({"full.ids", full, 5});
    seeds.push_back({"full_cut.ids", Bytes(full.begin(), full.begin() + full.size() / 2), -1});
    seeds.push_back({"one_node_v1.ids", OneNodeFile(1, "5").bytes, 1});
    seeds.push_back({"one_node_v0.ids", OneNodeFile(0, "").bytes, 1});
    seeds.push_back({"unnamed_v2.ids", Version2File().bytes, 2});
    seeds.push_back({"named_mesh.ids", NamedMeshFile("rock").bytes, 1});
    ByteBuilder forward;
    forward.U16(1).Text("5").U16(0).U16(2);
    PlainNode(forward, 0, "root");
    PlainNode(forward, 3, "lost");
    seeds.push_back({"forward_parent.ids", forward.bytes, -1});
    ByteBuilder kind;
    kind.U16(1).Text("5").U16(0).U16(2);
    PlainNode(kind, 0, "root");
    PlainNode(kind, 1, "light", 3);
    seeds.push_back({"unknown_kind.ids", kind.bytes, -1});
    ByteBuilder counts;
    counts.U16(1).Text("5").U16(65535).U16(65535);
    seeds.push_back({"huge_counts.ids", counts.bytes, -1});
    return seeds;
}

} // namespace

TEST(SceneFileSeeds, TheCommittedSeedsReadAsMade)
{
    effect_test::EffectFolder folder;
    platform::testing::ScriptedMessageBoxes boxes;
    render_test::CoutCapture quiet;
    const fs::path corpus = fs::path(ZANDREL_SOURCE_DIR) / "fuzz/corpus/scene_file";
    const std::vector<Seed> seeds = MakeSeeds(folder);
    if (std::getenv("ZANDREL_WRITE_SCENE_SEEDS")) {
        fs::create_directories(corpus);
        for (const Seed& seed : seeds)
            std::ofstream(corpus / seed.name, std::ios::binary)
                .write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
    }
    for (const Seed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        const Bytes committed = FileBytes(corpus / seed.name);
        ASSERT_FALSE(committed.empty());
        Scene scene;
        const bool read = scene.LoadFromMemory(committed.data(), static_cast<uint32_t>(committed.size()), seed.name);
        EXPECT_EQ(read, seed.nodes >= 0);
        if (read) {
            EXPECT_EQ(scene.Nodes()->count, static_cast<uint32_t>(seed.nodes));
        } else if (scene.Nodes()) {
            EXPECT_EQ(scene.Nodes()->count, 0u);
        }
    }
}
