#include "kernel/circ_pool.h"
#include "kernel/memory_pools.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "kernel/error_stream.h"
#include "kernel/file_buffer.h"
#include "testing/message_box_script.h"

namespace {

uint8_t* Block(circPool& pool, uint32_t number)
{
    return pool.blocks + static_cast<size_t>(number - 1) * pool.blockSize;
}

// The kernel's thirteen block sizes with small counts, and the slots named in
// `empty` left without blocks.
void BuildShapes(PoolSet& set, uint32_t count, std::set<uint32_t> empty = {})
{
    static const uint32_t sizes[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 17424, 0x40080};
    set.Init(13);
    for (uint32_t slot = 0; slot < 13; ++slot)
        set.Add().Build(sizes[slot], empty.count(slot) ? 0 : count);
}

} // namespace

TEST(CircPool, TakesInRingOrderAndReportsOverflowWithoutHandingOutAUsedBlock)
{
    platform::testing::ScriptedMessageBoxes boxes;
    circPool pool;
    ASSERT_TRUE(pool.Build(64, 3));
    EXPECT_EQ(pool.end, pool.first + 2 * 64 + 1);
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 1));
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 2));
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 3));
    EXPECT_TRUE(boxes.Shown().empty());

    EXPECT_EQ(CircPoolAlloc(pool), nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("circPool 64 3 overflow!\n"));
    // The three blocks are still held by their takers and untouched.
    for (uint32_t n = 1; n <= 3; ++n)
        EXPECT_EQ(pool.used[n - 1], 1);
}

TEST(CircPool, ABlockKeptForLongIsPassedOverNotReportedAsOverflow)
{
    platform::testing::ScriptedMessageBoxes boxes;
    circPool pool;
    ASSERT_TRUE(pool.Build(32, 4));
    void* kept = CircPoolAlloc(pool);
    for (int round = 0; round < 10; ++round) {
        void* a = CircPoolAlloc(pool);
        void* b = CircPoolAlloc(pool);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, kept);
        EXPECT_NE(b, kept);
        CircPoolFree(pool, a);
        CircPoolFree(pool, b);
    }
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(pool.used[0], 1);
}

TEST(CircPool, CursorStepsBackOnlyForTheNewestBlockAndWraps)
{
    platform::testing::ScriptedMessageBoxes boxes;
    circPool pool;
    ASSERT_TRUE(pool.Build(16, 3));
    void* one = CircPoolAlloc(pool);
    void* two = CircPoolAlloc(pool);
    EXPECT_TRUE(CircPoolFree(pool, two));
    EXPECT_EQ(CircPoolAlloc(pool), two) << "the newest block comes straight back";

    EXPECT_TRUE(CircPoolFree(pool, one));
    void* three = CircPoolAlloc(pool);
    EXPECT_EQ(three, Block(pool, 3)) << "an older free block is not searched for";

    EXPECT_TRUE(CircPoolFree(pool, two));
    EXPECT_TRUE(CircPoolFree(pool, three));
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 3)) << "freeing the newest stepped the cursor back";
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 1)) << "wraps to the first block";
    EXPECT_EQ(CircPoolAlloc(pool), Block(pool, 2));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(CircPool, ReturningAFreeBlockReportsAndChangesNothing)
{
    platform::testing::ScriptedMessageBoxes boxes;
    circPool pool;
    ASSERT_TRUE(pool.Build(32, 2));
    void* block = CircPoolAlloc(pool);
    EXPECT_TRUE(CircPoolFree(pool, block));
    const uint32_t cursor = pool.cursor;
    EXPECT_FALSE(CircPoolFree(pool, block));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("circPool 32 2 element is already deleted!\n"));
    EXPECT_EQ(pool.cursor, cursor);
    EXPECT_EQ(pool.used[0], 0);
}

TEST(CircPool, AnEmptyPoolServesNothingAndHoldsNoAddress)
{
    circPool pool;
    ASSERT_TRUE(pool.Build(128, 0));
    EXPECT_TRUE(pool.Empty());
    EXPECT_EQ(CircPoolAlloc(pool), nullptr);
    int local = 0;
    EXPECT_FALSE(pool.Holds(&local));
    EXPECT_FALSE(pool.Holds(nullptr));
}

TEST(PoolSet, RequestsGoToTheSmallestPoolThatFits)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    BuildShapes(set, 2);
    struct Case { uint32_t size; uint32_t slot; };
    for (Case c : {Case{16, 0}, Case{17, 1}, Case{0, 0}, Case{4096, 8}, Case{16385, 11}, Case{17425, 12}}) {
        void* block = set.Alloc(c.size);
        EXPECT_EQ(set.PoolOf(block), &set[c.slot]) << "size " << c.size;
        set.Free(block);
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(PoolSet, OversizeGoesToTheHeapWithItsLineAndComesBack)
{
    PoolSet set;
    BuildShapes(set, 1);
    testing::internal::CaptureStdout();
    void* block = set.Alloc(0x40080 + 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No circPool for 262273!\n");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(set.PoolOf(block), nullptr);
    std::memset(block, 0xAB, 0x40081);
    set.Free(block); // the heap takes it back (a sanitizer build would catch a wrong free)
}

TEST(PoolSet, EmptyPoolsAreSkippedForTheNextLargerOne)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    // As with default settings: only the two fixed pools have blocks.
    BuildShapes(set, 2, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    void* small = set.Alloc(16);
    EXPECT_EQ(set.PoolOf(small), &set[11]);
    void* large = set.Alloc(20000);
    EXPECT_EQ(set.PoolOf(large), &set[12]);
    set.Free(small);
    set.Free(large);
    EXPECT_EQ(set[11].used[0] + set[11].used[1], 0);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(PoolSet, AFullPoolReportsThenServesFromTheHeapAndFreeingFindsEachOrigin)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    BuildShapes(set, 2);
    void* a = set.Alloc(64);
    void* b = set.Alloc(64);
    void* c = set.Alloc(64);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("circPool 64 2 overflow!\n"));
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_EQ(set.PoolOf(c), nullptr);
    std::memset(c, 1, 64);
    set.Free(c);
    set.Free(b);
    set.Free(a);
    EXPECT_EQ(boxes.Shown().size(), 1u) << "every block went back where it came from";
}

TEST(PoolSet, ReallocKeepsAFittingBlockAndMovesContentsOtherwise)
{
    PoolSet set;
    BuildShapes(set, 2);
    void* block = set.Realloc(nullptr, 20);
    EXPECT_EQ(set.PoolOf(block), &set[1]);
    std::memcpy(block, "0123456789abcdefghijklmnopqrstu", 32);
    EXPECT_EQ(set.Realloc(block, 32), block);
    void* moved = set.Realloc(block, 100);
    EXPECT_EQ(set.PoolOf(moved), &set[3]);
    EXPECT_EQ(std::memcmp(moved, "0123456789abcdefghijklmnopqrstu", 32), 0);
    EXPECT_EQ(set[1].used[0], 0) << "the old block went back";

    testing::internal::CaptureStdout();
    void* heap = set.Alloc(300000);
    testing::internal::GetCapturedStdout();
    std::memset(heap, 7, 300000);
    void* grown = set.Realloc(heap, 400000);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(grown)[299999], 7);
    set.Free(grown);
    set.Free(moved);
}

TEST(PoolSet, AddingPastTheRoomReportsAndStartsAgain)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    set.Init(1);
    set.Add().Build(16, 1);
    testing::internal::CaptureStderr();
    circPool& again = set.Add();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(&again, &set[0]);
    EXPECT_EQ(set.Size(), 1u);
}

TEST(PhysFSAllocator, RefusesSizesPastTheLargestFile)
{
    EXPECT_EQ(PhysFSMalloc(kLargestFileBytes + 1), nullptr);
    EXPECT_EQ(PhysFSMalloc(PHYSFS_uint64(1) << 32), nullptr);
    EXPECT_EQ(PhysFSRealloc(nullptr, kLargestFileBytes + 1), nullptr);
    EXPECT_EQ(PhysFSRealloc(nullptr, PHYSFS_uint64(1) << 33), nullptr);
}

TEST(PoolSet, TwoThreadsTakingAndReturningNeverShareABlock)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    BuildShapes(set, 512);
    auto worker = [&set](uint8_t mark, bool* ok) {
        // A thread held up while the cursor comes round makes the other overflow
        // now and then; that request is served by the heap.
        platform::testing::ScriptedMessageBoxes threadBoxes;
        std::vector<uint8_t*> held;
        for (int round = 0; round < 2000; ++round) {
            for (int i = 0; i < 8; ++i) {
                auto* block = static_cast<uint8_t*>(set.Alloc(48));
                std::memset(block, mark, 48);
                held.push_back(block);
            }
            for (uint8_t* block : held) {
                for (int i = 0; i < 48; ++i)
                    if (block[i] != mark)
                        *ok = false;
                set.Free(block);
            }
            held.clear();
        }
    };
    bool ok1 = true, ok2 = true;
    std::thread t1(worker, uint8_t{1}, &ok1);
    std::thread t2(worker, uint8_t{2}, &ok2);
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
    for (uint32_t i = 0; i < set[2].count; ++i)
        EXPECT_EQ(set[2].used[i], 0);
}

// ---- Block numbers and thread caches ----

namespace {

uint32_t UsedCount(const circPool& pool)
{
    uint32_t used = 0;
    for (uint32_t i = 0; i < pool.count; ++i)
        used += pool.used[i];
    return used;
}

// The slot the plain walk from the smallest pool picks, or -1 for the heap.
int WalkedSlot(PoolSet& set, uint32_t size)
{
    for (uint32_t slot = 0; slot < set.Size(); ++slot)
        if (!set[slot].Empty() && set[slot].blockSize >= size)
            return static_cast<int>(slot);
    return -1;
}

} // namespace

TEST(CircPool, BlockNumbersAreExactForEveryStride)
{
    for (uint32_t size : {16u, 24u, 48u, 100u, 17424u, 0x40080u}) {
        circPool pool;
        ASSERT_TRUE(pool.Build(size, 5));
        for (uint32_t n = 1; n <= 5; ++n) {
            EXPECT_EQ(pool.IndexOf(Block(pool, n)), n - 1) << size;
            EXPECT_EQ(pool.IndexOf(Block(pool, n) + size - 1), n - 1) << size;
        }
        // Taken in order and given back newest first, every return finds its block.
        for (int i = 0; i < 5; ++i)
            ASSERT_NE(CircPoolAlloc(pool), nullptr);
        for (uint32_t n = 5; n >= 1; --n)
            EXPECT_TRUE(CircPoolFree(pool, Block(pool, n))) << size;
        EXPECT_EQ(UsedCount(pool), 0u);
        EXPECT_EQ(pool.cursor, 0u) << "each return of the newest stepped the cursor back";
    }
}

TEST(PoolCache, EverySizeGoesToThePoolAWalkFromTheSmallestFinds)
{
    platform::testing::ScriptedMessageBoxes boxes;
    struct Shape { const char* name; std::set<uint32_t> empty; };
    for (const Shape& shape : {Shape{"all pools", {}}, Shape{"gaps", {2, 3, 9, 11}}, Shape{"fixed only", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}}) {
        PoolSet set;
        BuildShapes(set, 64, shape.empty);
        testing::internal::CaptureStdout();
        for (uint32_t size = 0; size <= 0x40080 + 1; size += size < 20000 ? 1 : 97) {
            void* block = set.Alloc(size);
            const int slot = WalkedSlot(set, size);
            if (slot < 0)
                EXPECT_EQ(set.PoolOf(block), nullptr) << shape.name << " size " << size;
            else
                ASSERT_EQ(set.PoolOf(block), &set[static_cast<uint32_t>(slot)]) << shape.name << " size " << size;
            set.Free(block);
        }
        void* oversize = set.Alloc(0x40080 + 1);
        set.Free(oversize);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "No circPool for 262273!\n") << shape.name;
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(PoolCache, ReturningACachedBlockTwiceIsReportedAndItIsHandedOutOnce)
{
    // Where the block waits after its first return: as the thread's last freed
    // block, on the thread's list behind a newer one, or back in its pool.
    enum class Where { Last, List, Pool };
    for (Where where : {Where::Last, Where::List, Where::Pool}) {
        platform::testing::ScriptedMessageBoxes boxes;
        PoolSet set;
        BuildShapes(set, 64);
        void* block = set.Alloc(64);
        void* newer = set.Alloc(64);
        set.Free(block);
        if (where != Where::Last)
            set.Free(newer);
        if (where == Where::Pool)
            set.ReturnThreadCache();
        set.Free(block);
        ASSERT_EQ(boxes.Shown().size(), 1u) << static_cast<int>(where);
        EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("circPool 64 64 element is already deleted!\n"));
        if (where == Where::Last)
            set.Free(newer);

        std::set<void*> handedOut;
        for (int i = 0; i < 64; ++i) {
            void* taken = set.Alloc(64);
            ASSERT_NE(set.PoolOf(taken), nullptr);
            EXPECT_TRUE(handedOut.insert(taken).second) << "a block handed out twice";
        }
        for (void* taken : handedOut)
            set.Free(taken);
        EXPECT_EQ(boxes.Shown().size(), 1u);
    }
}

TEST(PoolCache, BlocksFreedOnAnotherThreadGoBackInBatchesAndAllReturnWhenThreadsEnd)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    BuildShapes(set, 1024); // 64 blocks at most in one thread's cache
    circPool& pool = set[2];
    std::vector<void*> blocks;
    std::thread taker([&] {
        for (int i = 0; i < 600; ++i)
            blocks.push_back(set.Alloc(64));
    });
    taker.join();
    EXPECT_EQ(UsedCount(pool), 600u) << "the taker's cache went back when it ended";
    uint32_t usedWhileTheFreerLives = 0;
    std::thread freer([&] {
        for (void* block : blocks)
            set.Free(block);
        usedWhileTheFreerLives = UsedCount(pool);
    });
    freer.join();
    EXPECT_LE(usedWhileTheFreerLives, 65u) << "a full cache sends blocks back to the pool";
    EXPECT_EQ(UsedCount(pool), 0u);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(PoolCache, AThreadNeverGetsABlockOfASetThatWasReplaced)
{
    platform::testing::ScriptedMessageBoxes boxes;
    std::optional<PoolSet> set;
    set.emplace();
    BuildShapes(*set, 64);
    std::mutex lock;
    std::condition_variable changed;
    int step = 0;
    bool fresh = false;
    std::thread user([&] {
        set->Free(set->Alloc(64)); // now cached by this thread
        std::unique_lock held(lock);
        step = 1;
        changed.notify_all();
        changed.wait(held, [&] { return step == 2; });
        void* block = set->Alloc(64);
        circPool* pool = set->PoolOf(block);
        fresh = pool == &(*set)[2] && pool->used[pool->IndexOf(block)] == 1;
        set->Free(block);
    });
    {
        std::unique_lock held(lock);
        changed.wait(held, [&] { return step == 1; });
        set.reset();
        set.emplace();
        BuildShapes(*set, 64);
        step = 2;
        changed.notify_all();
    }
    user.join();
    EXPECT_TRUE(fresh) << "the block came from the new set's pool";
    EXPECT_EQ(UsedCount((*set)[2]), 0u);
}

TEST(PoolCache, APoolLargerThanItsAddressSpanUsesTheHeapAndIsStillFound)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet set;
    set.Init(2);
    set.Add().Build(16, 32);
    // 1100 blocks of 262272 bytes pass the 256 MiB each slot has.
    ASSERT_TRUE(set.Add().Build(0x40080, 1100));
    std::vector<void*> blocks;
    for (int i = 0; i < 20; ++i) {
        blocks.push_back(set.Alloc(1000));
        ASSERT_EQ(set.PoolOf(blocks.back()), &set[1]);
        std::memset(blocks.back(), i, 1000);
    }
    for (void* block : blocks)
        set.Free(block);
    EXPECT_EQ(UsedCount(set[1]), 0u);
    EXPECT_TRUE(boxes.Shown().empty());
}
