#include "scene/dynamic.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/error_stream.h"
#include "testing/message_box_script.h"

namespace {
class Counted : public Dynamic {
public:
    Counted(std::vector<std::string>& log, std::string label)
        : log_(log)
        , label_(std::move(label))
    {
    }
    void Update() override
    {
        log_.push_back(label_);
        if (onUpdate)
            onUpdate();
    }
    std::function<void()> onUpdate;

private:
    std::vector<std::string>& log_;
    std::string label_;
};
} // namespace

TEST(Dynamic, WithoutAListReportsAndStaysOutOfEveryList)
{
    platform::testing::ScriptedMessageBoxes boxes;
    ASSERT_EQ(GetDynamicsList(), nullptr);
    {
        Dynamic orphan;
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("No dynamics list created.\n"));
        DynamicsList list;
        EXPECT_TRUE(list.Entries().empty());
    }
    EXPECT_EQ(GetDynamicsList(), nullptr);
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

TEST(Dynamic, UpdatesActiveEntriesInRegistrationOrder)
{
    DynamicsList list;
    EXPECT_EQ(GetDynamicsList(), &list);
    std::vector<std::string> log;
    Counted a(log, "a"), b(log, "b"), c(log, "c");
    EXPECT_EQ(a.active, 1);
    EXPECT_EQ(a.scriptFunction, 0);
    b.active = 0;
    list.UpdateDynamics();
    list.UpdateDynamics();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "c", "a", "c"}));
}

TEST(Dynamic, RemovalDuringTheWalkSkipsNothingAndRunsNothingTwice)
{
    DynamicsList list;
    std::vector<std::string> log;
    auto first = std::make_unique<Counted>(log, "1");
    Counted second(log, "2"), third(log, "3"), fourth(log, "4");

    // An object that destroys itself, one that removes an earlier entry and
    // one that removes a later one.
    first->onUpdate = [&] { first.reset(); };
    second.onUpdate = [&] { list.RemoveDynamic(&fourth); };
    list.UpdateDynamics();
    EXPECT_EQ(log, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(list.Entries(), (std::vector<Dynamic*>{&second, &third}));

    log.clear();
    second.onUpdate = nullptr;
    third.onUpdate = [&] { list.RemoveDynamic(&second); };
    list.UpdateDynamics();
    EXPECT_EQ(log, (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(list.Entries(), (std::vector<Dynamic*>{&third}));
}

TEST(Dynamic, RemoveTakesOnlyTheFirstEqualEntry)
{
    DynamicsList list;
    std::vector<std::string> log;
    Counted a(log, "a"), b(log, "b");
    list.AddDynamic(&a);
    list.RemoveDynamic(nullptr);
    EXPECT_EQ(list.Entries(), (std::vector<Dynamic*>{&a, &b, &a}));
    list.RemoveDynamic(&a);
    EXPECT_EQ(list.Entries(), (std::vector<Dynamic*>{&b, &a}));
}

TEST(Dynamic, AFullListRefusesTheNextEntry)
{
    platform::testing::ScriptedMessageBoxes boxes;
    DynamicsList list;
    std::vector<std::string> log;
    Counted a(log, "a");
    for (std::size_t i = 1; i < DynamicsList::kMaxEntries; ++i)
        ASSERT_TRUE(list.AddDynamic(&a));
    EXPECT_TRUE(boxes.Shown().empty());
    {
        Counted extra(log, "x");
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Dynamics list full.\n"));
        EXPECT_EQ(list.Entries().size(), DynamicsList::kMaxEntries);
    }
    EXPECT_EQ(list.Entries().size(), DynamicsList::kMaxEntries);
}

TEST(Dynamic, ANewerListBecomesCurrentAndForgetsItselfWhenGone)
{
    DynamicsList outer;
    {
        DynamicsList inner;
        EXPECT_EQ(GetDynamicsList(), &inner);
    }
    EXPECT_EQ(GetDynamicsList(), nullptr);
}
