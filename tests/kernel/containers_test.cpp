#include <gtest/gtest.h>

#include <string>

#include "kernel/platform.h"
#include "kernel/static_heap_vector.h"
#include "kernel/static_queue.h"
#include "kernel/static_vector.h"
#include "testing/message_box_script.h"

TEST(StaticQueue, FirstInFirstOutAcrossTheWrap)
{
    staticQueue<int, 4> queue;
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 10; ++round) {
        queue.Push(next++);
        queue.Push(next++);
        EXPECT_EQ(queue.Front(), expected++);
        queue.Pop();
        EXPECT_EQ(queue.Front(), expected++);
        queue.Pop();
    }
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.read, 20u);
    EXPECT_EQ(queue.write, 20u);
}

TEST(StaticQueue, PushThatFillsItReportsTheCountAndKeepsTheElement)
{
    platform::testing::ScriptedMessageBoxes boxes;
    staticQueue<int, 8> queue;
    for (int i = 0; i < 7; ++i)
        queue.Push(i);
    EXPECT_TRUE(boxes.Shown().empty());
    queue.Push(7);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("staticQueue overflow! 8\n"));
    EXPECT_EQ(queue.Count(), 8u);
    EXPECT_TRUE(queue.Full());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(queue.Front(), i);
        queue.Pop();
    }
}

TEST(StaticQueue, PopOfEmptyQueuePrintsAndChangesNothing)
{
    staticQueue<int, 4> queue;
    queue.Push(1);
    queue.Pop();
    testing::internal::CaptureStdout();
    queue.Pop();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "staticQueue is empty!\n");
    EXPECT_EQ(queue.read, 1u);
    EXPECT_EQ(queue.write, 1u);
}

namespace {
// Counts how many are made and how many are gone.
struct Counted {
    static inline int made = 0;
    static inline int gone = 0;
    Counted() { ++made; }
    Counted(const Counted&) { ++made; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { ++gone; }
    int value = 7;
};
} // namespace

TEST(StaticQueue, ElementsMadeOnUseAreMadeInSlotOrderAsReachedAndUnmadeAtTheEnd)
{
    Counted::made = Counted::gone = 0;
    {
        staticQueue<Counted, 8, true> queue;
        EXPECT_EQ(Counted::made, 0);
        EXPECT_EQ(queue.MadeSlots(), 0u);
        Counted element;
        element.value = 3;
        queue.Push(element);
        queue.Push(element);
        EXPECT_EQ(queue.MadeSlots(), 2u);
        EXPECT_EQ(queue.At(1).value, 3);
        EXPECT_EQ(queue.At(5).value, 7) << "a slot reached ahead is made, with every slot before it";
        EXPECT_EQ(queue.MadeSlots(), 6u);
        queue.Pop();
        queue.Pop();
        // Wrapping reuses the made slots and makes the rest.
        for (int i = 0; i < 7; ++i) {
            queue.Push(element);
            queue.Pop();
        }
        EXPECT_EQ(queue.MadeSlots(), 8u);
        EXPECT_EQ(queue.At(queue.read).value, 3);
    }
    EXPECT_EQ(Counted::made, Counted::gone) << "every made element and the local one are gone";

    Counted::made = Counted::gone = 0;
    {
        staticQueue<Counted, 8> eager;
        EXPECT_EQ(Counted::made, 8);
        EXPECT_EQ(eager.MadeSlots(), 8u);
        EXPECT_EQ(eager.items[7].value, 7);
    }
    EXPECT_EQ(Counted::gone, 8);
}

TEST(StaticVector, OverflowPrintsItsNumberAndStartsAgainAtSlotZero)
{
    staticVector<int, 3> vector(2);
    testing::internal::CaptureStdout();
    vector.Push(10);
    vector.Push(11);
    vector.Push(12);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    vector.Push(13);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "staticVector 2 overflow.\n");
    EXPECT_EQ(vector.count, 1u);
    EXPECT_EQ(vector[0], 13);
    EXPECT_EQ(vector[1], 11);
}

TEST(StaticHeapVector, HandsOutElementsThenReportsThroughTheErrorStream)
{
    platform::testing::ScriptedMessageBoxes boxes;
    Platform platform; // routes the standard error stream into the error box
    staticHeapVector<double> vector(2, "weights");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(vector.items) % 16, 0u);
    EXPECT_EQ(vector.name, "weights");
    double& first = vector.Push();
    first = 1.5;
    vector.Push() = 2.5;
    EXPECT_TRUE(boxes.Shown().empty());
    double& again = vector.Push();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("staticHeapVector overflow.\n"));
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(vector.count, 1u);
}

TEST(StaticHeapVector, ZeroCapacityNeverHandsOutForeignMemory)
{
    platform::testing::ScriptedMessageBoxes boxes;
    Platform platform;
    staticHeapVector<int> vector(0);
    int& a = vector.Push();
    int& b = vector.Push();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(&a, vector.items);
    EXPECT_EQ(boxes.Shown().size(), 2u);
}
