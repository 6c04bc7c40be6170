#include "kernel/circ_pool.h"
#include "kernel/memory_pools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "kernel/error_stream.h"
#include "platform/testing/message_box_script.h"

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

TEST(PhysFSAllocator, RefusesSizesBeyondThirtyTwoBits)
{
    EXPECT_EQ(PhysFSMalloc(PHYSFS_uint64(1) << 32), nullptr);
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
