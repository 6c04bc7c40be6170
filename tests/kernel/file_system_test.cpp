#include "kernel/file_system.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/handler_module.h"
#include "kernel/memory_pools.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "kernel/settings.h"
#include "testing/message_box_script.h"
#include "testing/zip_builder.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Pattern(size_t size, char seed)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(seed + i * 7 % 251);
    return text;
}

std::string Text(const FileBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.data), buffer.size);
}

// Blocks taken from a kernel pool and not given back (the test thread's cache
// emptied first).
uint32_t UsedBlocks(const circPool& pool)
{
    circPools.ReturnThreadCache();
    uint32_t used = 0;
    for (uint32_t i = 0; i < pool.count; ++i)
        used += pool.used[i];
    return used;
}

// One run folder for the whole suite: settings, loose files and five archives,
// mounted the way the program mounts them at start-up.
class FileSystemTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform::testing::ScriptedMessageBoxes boxes;
        savedDir_ = fs::current_path();
        folder_ = zandrel_test::FreshProgramFolder("zandrel_fs_");
        WriteFile(folder_ / "settings.ini",
                  "[mem]\npool16=4096\npool32=4096\npool64=4096\npool128=4096\npool256=1024\n"
                  "pool512=1024\npool1024=64\npool4096=16\n"
                  "[FileSystem]\narchives=6\narchive0=stored.zip\narchive1=deflated.zip\n"
                  "archive2=empty.zip\narchive3=damaged.zip\narchive4=broken_entry.zip\n");
        WriteFile(folder_ / "shared.txt", "from the folder");
        WriteFile(folder_ / "thousand.bin", Pattern(1000, 'a'));
        WriteFile(folder_ / "empty.txt", "");
        WriteFile(folder_ / "huge.bin", "");
        fs::resize_file(folder_ / "huge.bin", kLargestFileBytes + 1); // sparse: takes no disk
        WriteFile(folder_ / "stored.zip", ziptest::Build({
            {"shared.txt", "from stored.zip"},
            {"both.txt", "stored wins"},
            {"models/", ""},
            {"models/trees/oak.txt", "an oak, stored two folders down"},
        }));
        WriteFile(folder_ / "deflated.zip", ziptest::Build({
            {"shared.txt", "from deflated.zip", true},
            {"both.txt", "deflated loses", true},
            {"data/big.bin", Pattern(70000, 'q'), true},
        }));
        WriteFile(folder_ / "empty.zip", ziptest::Build({}));
        std::string damaged = ziptest::Build({{"lost.txt", "never seen"}});
        damaged.resize(damaged.size() - 10); // the end record is cut off
        WriteFile(folder_ / "damaged.zip", damaged);
        std::string broken = ziptest::Build({{"garbled.txt", Pattern(5000, 'g'), true}});
        // The first deflate block header now names the reserved block type.
        const size_t dataStart = 30 + std::strlen("garbled.txt");
        for (size_t i = dataStart; i < dataStart + 4; ++i)
            broken[i] = static_cast<char>(0xFF);
        WriteFile(folder_ / "broken_entry.zip", broken);

        fs::current_path(folder_);
        ReleaseSettings();
        testing::internal::CaptureStdout();
        GetFileSystem(); // reads the settings: "Settings.ini loaded"
        testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        GetFileSystem()->Mount(folder_.string(), "");
        GetFileSystem()->MountArchives();
        mountLines_ = testing::internal::GetCapturedStdout();
    }

    static void TearDownTestSuite()
    {
        // The shutdown order: the thread objects go before the file system.
        DestroyIOThread();
        DestroyFileSystem();
        fs::current_path(savedDir_);
        ReleaseSettings();
        fs::remove_all(folder_);
    }

    // Loads quietly; the printed lines are checked where they matter.
    static bool Load(FileBuffer& buffer, const std::string& name, uint32_t offset = 0, uint32_t size = 0)
    {
        testing::internal::CaptureStdout();
        const bool loaded = GetFileSystem()->LoadFile(buffer, name, offset, size);
        lastOutput_ = testing::internal::GetCapturedStdout();
        return loaded;
    }

    platform::testing::ScriptedMessageBoxes boxes_;
    static inline fs::path savedDir_, folder_;
    static inline std::string mountLines_, lastOutput_;
};

} // namespace

TEST_F(FileSystemTest, MountsTheFolderFirstThenEachArchiveWithItsLine)
{
    // The empty archive (PhysicsFS takes no archive without entries), the
    // damaged one and the sixth, unnamed one fail, yet each gets its line.
    const std::string expected = folder_.string() + " mounted.\n"
                                 "stored.zip mounted.\n"
                                 "deflated.zip mounted.\n"
                                 "PhysFS error: unsupported\n"
                                 "empty.zip mounted.\n"
                                 "PhysFS error: \n"
                                 "damaged.zip mounted.\n"
                                 "broken_entry.zip mounted.\n"
                                 "PhysFS error: not found\n"
                                 " mounted.\n";
    std::string lines = mountLines_;
    // The damaged archive's error text is the library's own; only its line matters.
    const size_t damaged = lines.find("PhysFS error: ", lines.find("empty.zip mounted.")) + 14;
    lines.erase(damaged, lines.find('\n', damaged) - damaged);
    EXPECT_EQ(lines, expected);

    std::vector<std::string> order;
    char** path = PHYSFS_getSearchPath();
    for (char** entry = path; *entry; ++entry)
        order.push_back(fs::path(*entry).filename().string());
    PHYSFS_freeList(path);
    const std::vector<std::string> mounted = {folder_.filename().string(), "stored.zip", "deflated.zip",
                                              "broken_entry.zip"};
    EXPECT_EQ(order, mounted);
}

TEST_F(FileSystemTest, TheFolderHidesTheArchivesAndEarlierArchivesHideLaterOnes)
{
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "shared.txt"));
    EXPECT_EQ(Text(buffer), "from the folder");
    ASSERT_TRUE(Load(buffer, "both.txt"));
    EXPECT_EQ(Text(buffer), "stored wins");
    GetFileSystem()->ReleaseFile(buffer);
}

TEST_F(FileSystemTest, ReadsStoredNestedAndDeflatedEntries)
{
    EXPECT_TRUE(GetFileSystem()->FileExists("models/trees/oak.txt"));
    EXPECT_FALSE(GetFileSystem()->FileExists("lost.txt"));
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "models/trees/oak.txt"));
    EXPECT_EQ(Text(buffer), "an oak, stored two folders down");
    EXPECT_STREQ(buffer.name.c_str(), "models/trees/oak.txt");
    EXPECT_EQ(lastOutput_, "");
    ASSERT_TRUE(Load(buffer, "data/big.bin"));
    EXPECT_EQ(Text(buffer), Pattern(70000, 'q')) << "served by the heap, beyond every block";
    EXPECT_FALSE(buffer.IsBusy());
    GetFileSystem()->ReleaseFile(buffer);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_STREQ(buffer.name.c_str(), "data/big.bin") << "the name stays";
}

TEST_F(FileSystemTest, AMissingFileIsCheckedFourTimesAndLeavesTheBufferAsItWas)
{
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "shared.txt"));
    uint8_t* const data = buffer.data;
    EXPECT_FALSE(Load(buffer, "no/such/file.dds"));
    const std::string pair = "File no/such/file.dds not found in PhysFS\nPhysFS error: not found\n";
    EXPECT_EQ(lastOutput_, pair + pair + pair + pair);
    EXPECT_FALSE(buffer.IsBusy());
    EXPECT_EQ(buffer.data, data);
    EXPECT_EQ(Text(buffer), "from the folder");
    EXPECT_STREQ(buffer.name.c_str(), "shared.txt");
    GetFileSystem()->ReleaseFile(buffer);
    EXPECT_TRUE(boxes_.Shown().empty()) << "no error of the file system reaches the box";
}

TEST_F(FileSystemTest, TheThirteenPoolsTakeTheirCountsFromSectionMem)
{
    // Absent keys (pool2048, pool8192, pool16384) give empty pools.
    const uint32_t expected[13][2] = {
        {16, 4096},  {32, 4096},  {64, 4096},   {128, 4096},  {256, 1024},  {512, 1024},    {1024, 64},
        {2048, 0},   {4096, 16},  {8192, 0},    {16384, 0},   {17424, 12000}, {0x40080, 4},
    };
    ASSERT_EQ(circPools.Size(), 13u);
    for (uint32_t slot = 0; slot < 13; ++slot) {
        EXPECT_EQ(circPools[slot].blockSize, expected[slot][0]) << "slot " << slot;
        EXPECT_EQ(circPools[slot].count, expected[slot][1]) << "slot " << slot;
    }
}

TEST_F(FileSystemTest, APartFromAnOffsetLandsInTheSmallestFittingPool)
{
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "thousand.bin", 128, 0));
    EXPECT_EQ(buffer.size, 872u);
    EXPECT_EQ(Text(buffer), Pattern(1000, 'a').substr(128));
    ASSERT_EQ(circPools.Size(), 13u);
    EXPECT_EQ(circPools.PoolOf(buffer.data), &circPools[6]) << "the 1024-byte pool";
    ASSERT_TRUE(Load(buffer, "thousand.bin", 990, 10));
    EXPECT_EQ(Text(buffer), Pattern(1000, 'a').substr(990));
    GetFileSystem()->ReleaseFile(buffer);
}

TEST_F(FileSystemTest, ASecondLoadGivesTheFirstBlockBack)
{
    circPool& pool = circPools[6];
    const uint32_t before = UsedBlocks(pool);
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "thousand.bin"));
    EXPECT_EQ(UsedBlocks(pool), before + 1);
    ASSERT_TRUE(Load(buffer, "thousand.bin", 1));
    EXPECT_EQ(UsedBlocks(pool), before + 1);
    GetFileSystem()->ReleaseFile(buffer);
    EXPECT_EQ(UsedBlocks(pool), before);
}

TEST_F(FileSystemTest, PartsOutsideTheFileAndEmptyFilesAreRefusedWithSizeZero)
{
    FileBuffer buffer;
    ASSERT_TRUE(Load(buffer, "shared.txt"));
    EXPECT_FALSE(Load(buffer, "thousand.bin", 1001, 0));
    EXPECT_EQ(lastOutput_, "thousand.bin\nPhysFS error: past end of file\n");
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_FALSE(buffer.IsBusy());
    EXPECT_FALSE(Load(buffer, "thousand.bin", 1000, 0)) << "an offset at the end reads nothing";
    EXPECT_FALSE(Load(buffer, "thousand.bin", 900, 101));
    EXPECT_FALSE(Load(buffer, "thousand.bin", 0xFFFFFFF0u, 0x20));
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_FALSE(Load(buffer, "empty.txt"));
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_STREQ(buffer.name.c_str(), "empty.txt");
    GetFileSystem()->ReleaseFile(buffer);
}

TEST_F(FileSystemTest, AnEntryThatCannotBeInflatedFailsWithSizeZero)
{
    FileBuffer buffer;
    EXPECT_TRUE(GetFileSystem()->FileExists("garbled.txt"));
    EXPECT_FALSE(Load(buffer, "garbled.txt"));
    EXPECT_EQ(lastOutput_.substr(0, 12), "garbled.txt\n");
    EXPECT_EQ(lastOutput_.find("PhysFS error: "), 12u);
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_FALSE(buffer.IsBusy());
    GetFileSystem()->ReleaseFile(buffer);
}

// A few hundred kilobytes of archive can claim gigabytes: a load past the bound
// is refused in one line before anything is taken for it (not even the heap
// block of a "No circPool" line); a part within the bound still loads.
TEST_F(FileSystemTest, LoadsPastTheLargestFileAreRefusedBeforeAnythingIsTaken)
{
    WriteFile(folder_ / "bomb.zip",
              ziptest::BuildPacked({ziptest::ZeroBomb("textures/enbjitter.tga", kLargestFileBytes + 1)}));
    ASSERT_LT(fs::file_size(folder_ / "bomb.zip"), 1u << 20);
    ASSERT_TRUE(GetFileSystem()->Mount((folder_ / "bomb.zip").string(), "bomb"));
    const struct Case {
        const char* name;
        uint32_t offset, size;
    } cases[] = {{"huge.bin", 0, 0}, {"bomb/textures/enbjitter.tga", 0, 0}, {"huge.bin", 0, kLargestFileBytes + 1}};
    for (const Case& c : cases) {
        FileBuffer buffer;
        EXPECT_FALSE(Load(buffer, c.name, c.offset, c.size));
        EXPECT_EQ(lastOutput_, "File " + std::string(c.name) +
                                   ": 268435457 bytes to read, over the bound of 268435456 bytes (256 MiB), not read\n");
        EXPECT_EQ(buffer.data, nullptr) << c.name;
        EXPECT_FALSE(buffer.IsBusy());
    }
    FileBuffer part;
    ASSERT_TRUE(Load(part, "huge.bin", kLargestFileBytes - 15, 16));
    EXPECT_EQ(Text(part), std::string(16, '\0'));
    GetFileSystem()->ReleaseFile(part);
}

TEST_F(FileSystemTest, TheCallersMemoryIsFilledNeverOverrunAndNeverFreed)
{
    std::vector<uint8_t> memory(40, 0xEE);
    FileBuffer buffer;
    buffer.data = memory.data();
    buffer.external = 1;
    ASSERT_TRUE(Load(buffer, "thousand.bin", 128, 32));
    EXPECT_EQ(buffer.data, memory.data());
    EXPECT_EQ(std::string(memory.begin(), memory.begin() + 32), Pattern(1000, 'a').substr(128, 32));
    EXPECT_EQ(memory[32], 0xEE);
    // Without a size the room is unknown: refused rather than written past.
    EXPECT_FALSE(Load(buffer, "thousand.bin"));
    EXPECT_EQ(memory[32], 0xEE);
    EXPECT_EQ(buffer.size, 0u);
    GetFileSystem()->ReleaseFile(buffer);
    EXPECT_EQ(buffer.data, memory.data());
}

TEST_F(FileSystemTest, LoadsFromTwoThreadsAtOnceEachGetTheirOwnBytes)
{
    auto worker = [](const char* name, const std::string expected, bool* ok) {
        platform::testing::ScriptedMessageBoxes boxes;
        FileBuffer buffer;
        for (int i = 0; i < 200; ++i) {
            if (!GetFileSystem()->LoadFile(buffer, name) || Text(buffer) != expected)
                *ok = false;
        }
        GetFileSystem()->ReleaseFile(buffer);
    };
    bool ok1 = true, ok2 = true;
    std::thread a(worker, "thousand.bin", Pattern(1000, 'a'), &ok1);
    std::thread b(worker, "models/trees/oak.txt", std::string("an oak, stored two folders down"), &ok2);
    a.join();
    b.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}

TEST_F(FileSystemTest, OneBufferLoadedFromTwoThreadsIsTakenByOneAtATime)
{
    FileBuffer buffer;
    bool ok = true;
    auto worker = [&buffer, &ok] {
        platform::testing::ScriptedMessageBoxes boxes;
        for (int i = 0; i < 200; ++i) {
            const bool loaded = GetFileSystem()->LoadFile(buffer, "thousand.bin", 0, 0);
            if (!loaded)
                ok = false;
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(Text(buffer), Pattern(1000, 'a'));
    EXPECT_FALSE(buffer.IsBusy());
    GetFileSystem()->ReleaseFile(buffer);
}

namespace {

// Records the "Check" tasks that run on the render thread, by tag.
struct CheckModule : HandlerModule<CheckModule> {
    void RegisterHandlers() override { RegisterHandler("Check", &CheckModule::Check); }
    void Check(TaskMessage* task) { ran.push_back(std::string(task->tag.View())); }
    std::vector<std::string> ran;
};

TaskMessage Check()
{
    TaskMessage task;
    task.taskId = RSHashConst("Check");
    return task;
}

} // namespace

// Three chains of "LoadFromHDD" on IOTHREAD followed by a task on the render
// thread, run by the real threads: the render loop on this thread, IOTHREAD on
// its own.
TEST_F(FileSystemTest, LoadsThroughTheIOThreadAndAFailedLoadEndsItsChain)
{
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    CheckModule checks; // outlives the thread that holds it
    RenderThread render;
    render.SetName("RENDERTHREAD");
    render.AddModule(&checks);

    FileBuffer whole, missing, part, huge;
    std::vector<uint8_t> memory(40, 0xEE);
    std::atomic<uint32_t> wholeState{1}, missingState{1}, hugeState{1};
    int rounds = 0;
    registry->AddThread(GetIOThread(), false);
    render.SetWorkFunction([&]() {
        if (++rounds == 1) {
            EngineThread* io = GetThreadMap().Find(kIOThreadId);
            EngineThread* main = GetThreadMap().Find(kRenderThreadId);
            TaskBatch* batch = registry->AllocQueue(0);
            batch->PushTask(LoadFromHDDTask(&whole, "models/trees/oak.txt", 0, 0, nullptr, &wholeState), io,
                            "models/trees/oak.txt");
            batch->PushTask(Check(), main, "whole");
            batch = registry->AllocQueue(0);
            batch->PushTask(LoadFromHDDTask(&missing, "no/such.dds", 0, 0, nullptr, &missingState), io,
                            "no/such.dds");
            batch->PushTask(Check(), main, "missing");
            batch = registry->AllocQueue(0);
            batch->PushTask(LoadFromHDDTask(&part, "thousand.bin", 128, 32, memory.data()), io, "sb");
            batch->PushTask(Check(), main, "part");
            batch = registry->AllocQueue(0);
            batch->PushTask(LoadFromHDDTask(&huge, "huge.bin", 0, 0, nullptr, &hugeState), io, "huge.bin");
            batch->PushTask(Check(), main, "huge");
        }
        const bool settled = rounds > 1 && registry->ring.write == registry->ring.read;
        return (settled || rounds > 5'000'000) ? 1 : 0;
    });
    testing::internal::CaptureStdout();
    registry->AddThread(&render, true);
    const std::string output = testing::internal::GetCapturedStdout();
    registry->ResetQueues();

    ASSERT_EQ(registry->ring.write, registry->ring.read) << "every chain retired";
    EXPECT_EQ(checks.ran, (std::vector<std::string>{"whole", "part"})) << "the failed chain was cancelled";

    EXPECT_EQ(Text(whole), "an oak, stored two folders down");
    EXPECT_EQ(wholeState.load(), 1u) << "a load that worked leaves the state to its upload";
    EXPECT_EQ(missingState.load(), 0u);
    EXPECT_FALSE(missing.IsBusy());

    EXPECT_EQ(part.data, memory.data());
    EXPECT_EQ(part.external, 1);
    EXPECT_EQ(part.size, 32u);
    EXPECT_EQ(std::string(memory.begin(), memory.begin() + 32), Pattern(1000, 'a').substr(128, 32));
    EXPECT_EQ(memory[32], 0xEE);
    GetFileSystem()->ReleaseFile(part);
    EXPECT_EQ(part.data, memory.data()) << "the caller's memory is left alone";

    size_t tries = 0;
    for (size_t at = output.find("load no/such.dds\n"); at != std::string::npos;
         at = output.find("load no/such.dds\n", at + 1))
        ++tries;
    EXPECT_EQ(tries, static_cast<size_t>(kLoadFromHDDAttempts));
    // A refused file is not tried again: what refused it stays as it is.
    EXPECT_EQ(hugeState.load(), 0u);
    EXPECT_EQ(output.find("load huge.bin\n"), output.rfind("load huge.bin\n"));
    EXPECT_NE(output.find("load models/trees/oak.txt\n"), std::string::npos);
    GetFileSystem()->ReleaseFile(whole);
}

TEST(LoadFromHDDTask, CarriesItsArgumentsInThePayload)
{
    FileBuffer buffer;
    uint8_t memory[4];
    std::atomic<uint32_t> state{1};
    const TaskMessage task = LoadFromHDDTask(&buffer, "textures/rock.dds", 128, 4096, memory, &state);
    EXPECT_EQ(task.taskId, RSHash("LoadFromHDD"));
    EXPECT_EQ(task.Get<LoadFromHDDArgs::Buffer>(), &buffer);
    const HashedName128 name = task.Get<LoadFromHDDArgs::Name>();
    EXPECT_STREQ(name.c_str(), "textures/rock.dds");
    EXPECT_EQ(name.hash, RSHash("textures/rock.dds"));
    EXPECT_EQ(task.Get<LoadFromHDDArgs::Offset>(), 128u);
    EXPECT_EQ(task.Get<LoadFromHDDArgs::Size>(), 4096u);
    EXPECT_EQ(task.Get<LoadFromHDDArgs::Destination>(), memory);
    EXPECT_EQ(task.Get<LoadFromHDDArgs::FailState>(), &state);
}

// A count a little past the names tries each missing one (an empty name); a
// count far past them stops kArchivesPastTheLastName after the last name.
TEST(ArchiveMountCount, FollowsTheCountUpToALittlePastTheLastName)
{
    struct Case {
        const char* section;
        int expected;
    };
    const Case cases[] = {
        {"archives=0\narchive0=a.zip\n", 0},
        {"archives=-5\narchive0=a.zip\n", 0},
        {"archives=2\narchive0=a.zip\n", 2},
        {"archives=17\n", 16},
        {"archives=17\narchive0=a.zip\n", 17},
        {"archives=2147483647\narchive0=a.zip\narchive1=b.zip\n", 18},
        {"archives=2147483647\n", 16},
        {"ARCHIVES=1000\nArchive4=e.zip\n", 21},
        // Only the names the mount reads count: no leading zeros, no sign.
        {"archives=1000\narchive007=x.zip\narchive+9=y.zip\narchive=z.zip\n", 16},
        {"archives=2147483647\narchive2147483646=far.zip\n", 2147483647},
        {"archives=2147483647\narchive99999999999=past.zip\n", 16},
    };
    for (const Case& c : cases) {
        Settings settings;
        settings.LoadText(std::string("[FileSystem]\n") + c.section);
        EXPECT_EQ(ArchiveMountCount(settings), c.expected) << c.section;
    }
}
