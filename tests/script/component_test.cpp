#include "script/component.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/rs_hash.h"
#include "script/component_query.h"

namespace {
std::string MessageName(uint32_t id)
{
    if (id == IMSG_SOMEONE_ATTACHED) return "someone";
    if (id == IMSG_ME_ATTACHED) return "me";
    if (id == IMSG_GIVE_SCENENODE) return "give";
    if (id == IMSG_SUPPLY_SCENENODE) return "supply";
    if (id == IMSG_ACTION_FWD) return "fwd";
    return "other";
}

// Records every delivery as "receiver:message[:object][<-sender]".
class Recorder : public Component {
public:
    Recorder(std::vector<std::string>& log, std::string label)
        : log_(log)
        , label_(std::move(label))
    {
    }
    void OnMessage(ComponentMessage* message) override
    {
        std::string entry = label_ + ":" + MessageName(message->id);
        if (message->id == IMSG_SOMEONE_ATTACHED || message->id == IMSG_SUPPLY_SCENENODE)
            entry += ":" + static_cast<Recorder*>(message->Object())->label_;
        if (message->sender)
            entry += "<-" + static_cast<Recorder*>(message->sender)->label_;
        log_.push_back(entry);
        Handle(message);
    }
    virtual void Handle(ComponentMessage*) {}
    const std::string& Label() const { return label_; }

protected:
    std::vector<std::string>& log_;
    std::string label_;
};

// Asks its composite for a scene node as soon as it is attached.
class Asker : public Recorder {
public:
    using Recorder::Recorder;
    void Handle(ComponentMessage* message) override
    {
        if (message->id == IMSG_ME_ATTACHED) {
            ComponentMessage give;
            give.id = IMSG_GIVE_SCENENODE;
            SendMessage(message->sender, give);
            log_.push_back(label_ + " send returned with " + (kept ? kept->Label() : std::string("nothing")));
        } else if (message->id == IMSG_SUPPLY_SCENENODE) {
            kept = static_cast<Recorder*>(message->Object());
        }
    }
    Recorder* kept = nullptr;
};

// Answers a scene-node request with itself.
class Owner : public Recorder {
public:
    using Recorder::Recorder;
    void Handle(ComponentMessage* message) override
    {
        if (message->id == IMSG_GIVE_SCENENODE) {
            ComponentMessage supply;
            supply.id = IMSG_SUPPLY_SCENENODE;
            supply.SetObject(static_cast<Recorder*>(this));
            SendMessage(message->sender, supply);
        }
    }
};
} // namespace

TEST(ComponentMessage, IdsAreTheHashesOfTheirNames)
{
    EXPECT_EQ(IMSG_GIVE_SCENENODE, RSHash("IMSG_GIVE_SCENENODE"));
    EXPECT_EQ(IMSG_SUPPLY_SCRIPT, RSHash("IMSG_SUPPLY_SCRIPT"));
    EXPECT_EQ(CONTROL_HELICONTROLS, RSHash("CONTROL_HELICONTROLS"));
    EXPECT_NE(IMSG_ME_ATTACHED, IMSG_SOMEONE_ATTACHED);
    ComponentMessage message;
    int object = 0;
    message.SetObject(&object);
    EXPECT_EQ(message.Object(), &object);
}

TEST(Component, AttachTellsCompositeAndPartsThenTheNewcomer)
{
    std::vector<std::string> log;
    Recorder composite(log, "C"), first(log, "A"), second(log, "B"), inner(log, "I");
    second.AttachComponent(&inner);
    composite.AttachComponent(&first);
    log.clear();

    composite.AttachComponent(&second);
    EXPECT_EQ(log, (std::vector<std::string>{"C:someone:B<-C", "A:someone:B<-C", "B:me<-C", "I:me<-C"}));
    ASSERT_EQ(composite.components.size(), 2u);
    EXPECT_EQ(composite.components[1], &second);

    // A second attach is announced again but adds nothing and sends no "me".
    log.clear();
    composite.AttachComponent(&second);
    EXPECT_EQ(log, (std::vector<std::string>{"C:someone:B<-C", "A:someone:B<-C", "B:someone:B<-C"}));
    EXPECT_EQ(composite.components.size(), 2u);
}

TEST(Component, SupplyArrivesBeforeTheAskingSendReturns)
{
    std::vector<std::string> log;
    Recorder composite(log, "C");
    Owner node(log, "N");
    Asker asker(log, "Q");
    composite.AttachComponent(&node);
    log.clear();

    composite.AttachComponent(&asker);
    // The asker is attached already, so it also hears its own request.
    EXPECT_EQ(log, (std::vector<std::string>{
                       "C:someone:Q<-C", "N:someone:Q<-C", "Q:me<-C",
                       "C:give<-Q", "N:give<-Q", "Q:supply:N<-N", "Q:give<-Q",
                       "Q send returned with N"}));
    EXPECT_EQ(asker.kept, &node);
}

TEST(Component, DeliveryIsOneLevelDeepAndReachesPartsAddedMeanwhile)
{
    std::vector<std::string> log;
    Recorder composite(log, "C"), part(log, "P"), grandchild(log, "G"), late(log, "L");
    part.components.push_back(&grandchild);
    composite.components.push_back(&part);

    class Grower : public Recorder {
    public:
        Grower(std::vector<std::string>& l, Component* target, Component* extra)
            : Recorder(l, "X"), target_(target), extra_(extra) {}
        void Handle(ComponentMessage*) override
        {
            if (extra_) {
                target_->components.push_back(extra_);
                extra_ = nullptr;
            }
        }
        Component* target_;
        Component* extra_;
    } grower(log, &composite, &late);
    composite.components.push_back(&grower);

    Recorder sender(log, "S");
    ComponentMessage message;
    message.id = IMSG_ACTION_FWD;
    sender.SendMessage(&composite, message);
    EXPECT_EQ(log, (std::vector<std::string>{"C:fwd<-S", "P:fwd<-S", "X:fwd<-S", "L:fwd<-S"}));
}

TEST(Component, NotifyReachesTheTargetAloneAndNullTargetsAreIgnored)
{
    std::vector<std::string> log;
    Recorder composite(log, "C"), part(log, "P");
    composite.components.push_back(&part);
    composite.Notify(IMSG_ACTION_FWD);
    EXPECT_EQ(log, (std::vector<std::string>{"C:fwd"}));

    composite.SendMessage(nullptr, ComponentMessage{});
    composite.AttachComponent(nullptr);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(composite.components.size(), 1u);
}

TEST(Component, NameCarriesItsHashAsId)
{
    Component part;
    EXPECT_EQ(part.name.hash, 0u);
    part.SetComponentName("wheel");
    EXPECT_EQ(part.name.hash, RSHash("wheel"));
    part.SetComponentName("");
    EXPECT_EQ(part.name.hash, 0u);
}

TEST(ComponentQuery, TheQueueStartsEmptyWithEveryRecordFlagged)
{
    QueryQueue& queue = GetQueryQueue();
    EXPECT_EQ(queue.capacity, 128u);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.items[0].flag, 1);
    EXPECT_EQ(queue.items[127].flag, 1);
    std::ostringstream out;
    std::streambuf* old = std::cout.rdbuf(out.rdbuf());
    queue.items[5].HandleQuery();
    std::cout.rdbuf(old);
    EXPECT_EQ(out.str(), "Non-overloaded query!\n");
    EXPECT_EQ(queue.items[5].QueryResult(), 0);
    EXPECT_EQ(queue.items[5].QueryStatus(), 0);
}
