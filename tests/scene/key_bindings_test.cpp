// Key bindings: the key-name table of section Controls, what binds and what
// does not, and the order in which held keys deliver their action messages.
#include <gtest/gtest.h>

#include "script/component_messages.h"
#include "tests/scene/input_test_support.h"

using namespace input_test;

namespace {

using Log = std::vector<std::pair<const Recorder*, uint32_t>>;

constexpr uint32_t kJump = RSHashConst("IMSG_ACTION_UP");

} // namespace

TEST(KeyBindings, TheKeyNameTableHasItsFiftyNamesAndCodes)
{
    Controls controls;
    const std::vector<std::pair<std::string, int>> expected = {
        {"1", 2},  {"2", 3},  {"3", 4},  {"4", 5},  {"5", 6},  {"6", 7},  {"7", 8},  {"8", 9},  {"9", 10},
        {"0", 11}, {"-", 12}, {"=", 13}, {"Q", 16}, {"W", 17}, {"E", 18}, {"R", 19}, {"T", 20}, {"Y", 21},
        {"U", 22}, {"I", 23}, {"O", 24}, {"P", 25}, {"[", 26}, {"]", 27}, {"A", 30}, {"S", 31}, {"D", 32},
        {"F", 33}, {"G", 34}, {"H", 35}, {"J", 36}, {"K", 37}, {"L", 38}, {";", 39}, {"Z", 44}, {"X", 45},
        {"C", 46}, {"V", 47}, {"B", 48}, {"N", 49}, {"M", 50}, {",", 51}, {".", 52}, {"`", 86},
        {"UP", 200}, {"DOWN", 208}, {"LEFT", 203}, {"RIGHT", 205}, {"SPACE", 57}, {"ENTER", 28},
    };
    ASSERT_EQ(controls.keyNames.size(), 50u);
    for (const auto& [name, code] : expected)
        EXPECT_EQ(controls.KeyCode(name), code) << name;
    // Exact names only: no Escape, no lower case, no other spellings.
    for (const char* unknown : {"w", "Up", "ESCAPE", "ESC", "", " W", "W ", "SHIFT", "F1", "'"})
        EXPECT_EQ(controls.KeyCode(unknown), 0) << '"' << unknown << '"';
    EXPECT_TRUE(controls.bindings.empty());
}

TEST(KeyBindings, AnActionBindsTheKeyItsSettingNames)
{
    InputRig rig("[Controls]\ncameraFWD = W\ncameraBWD = s\ncameraLEFT = LEFTARROW\nspin = `\nfire = \n");
    Recorder r;
    Controls* controls = GetControls();
    controls->BindControl(&r, "cameraFWD", IMSG_ACTION_FWD);
    controls->BindControl(&r, "cameraBWD", IMSG_ACTION_BWD);     // lower case: unknown
    controls->BindControl(&r, "cameraLEFT", IMSG_ACTION_LEFT);   // unknown name
    controls->BindControl(&r, "cameraRIGHT", IMSG_ACTION_RIGHT); // no entry
    controls->BindControl(&r, "fire", IMSG_ACTION_UP);           // empty value
    controls->BindControl(&r, "spin", IMSG_ACTION_TURNLEFT);
    ASSERT_EQ(controls->bindings.size(), 2u);
    ASSERT_EQ(controls->bindings.count(kKeyW), 1u);
    EXPECT_EQ(controls->bindings[kKeyW][0].target, &r);
    EXPECT_EQ(controls->bindings[kKeyW][0].messageId, IMSG_ACTION_FWD);
    // "`" is the key beside left Shift, not the grave-accent key.
    ASSERT_EQ(controls->bindings.count(kKeyOem102), 1u);
    EXPECT_EQ(controls->bindings.count(kKeyGrave), 0u);
}

TEST(KeyBindings, TheBottomRowNamesEachBindTheirOwnKey)
{
    InputRig rig("[Controls]\na45 = X\na46 = C\na47 = V\na48 = B\na49 = N\na50 = M\na51 = ,\na52 = .\n");
    Recorder r;
    for (int code = 45; code <= 52; ++code)
        GetControls()->BindControl(&r, std::string("a").append(std::to_string(code)), static_cast<uint32_t>(code));
    for (int code = 45; code <= 52; ++code) {
        r.received.clear();
        inject::PressKey(static_cast<uint8_t>(code));
        rig.Poll();
        inject::ReleaseKey(static_cast<uint8_t>(code));
        EXPECT_EQ(r.received, (std::vector<uint32_t>{static_cast<uint32_t>(code)})) << code;
    }
}

TEST(KeyBindings, HeldKeysDeliverEveryFrameInAscendingCodeAndBindingOrder)
{
    InputRig rig("[Controls]\nfwd = W\nalso = W\nleft = A\njump = SPACE\nup = UP\n");
    Log log;
    Recorder first(&log), second(&log);
    Controls* controls = GetControls();
    controls->BindControl(&first, "up", IMSG_ACTION_UP);        // 200
    controls->BindControl(&second, "jump", kJump);              // 57
    controls->BindControl(&first, "left", IMSG_ACTION_LEFT);    // 30
    controls->BindControl(&second, "fwd", IMSG_ACTION_FWD);     // 17
    controls->BindControl(&first, "also", IMSG_ACTION_BWD);     // 17, after
    controls->BindControl(&second, "fwd", IMSG_ACTION_FWD);     // the same again

    // Nothing held, nothing delivered.
    rig.Poll();
    EXPECT_TRUE(log.empty());

    for (uint8_t code : {kKeyUp, kKeySpace, kKeyA, kKeyW})
        inject::PressKey(code);
    const Log frame = {
        {&second, IMSG_ACTION_FWD}, {&first, IMSG_ACTION_BWD}, {&second, IMSG_ACTION_FWD},
        {&first, IMSG_ACTION_LEFT}, {&second, kJump},           {&first, IMSG_ACTION_UP},
    };
    rig.Poll();
    EXPECT_EQ(log, frame);
    log.clear();
    rig.Poll();
    EXPECT_EQ(log, frame);

    // Only the keys still held.
    log.clear();
    inject::ReleaseKey(kKeyW);
    inject::ReleaseKey(kKeyUp);
    rig.Poll();
    EXPECT_EQ(log, (Log{{&first, IMSG_ACTION_LEFT}, {&second, kJump}}));
}

TEST(KeyBindings, UnbindingOneReceiverLeavesTheOthersInTheirOrder)
{
    InputRig rig("[Controls]\nfwd = W\nleft = A\n");
    Log log;
    Recorder a(&log), b(&log), c(&log);
    Controls* controls = GetControls();
    controls->BindControl(&a, "fwd", 1);
    controls->BindControl(&b, "fwd", 2);
    controls->BindControl(&a, "fwd", 3);
    controls->BindControl(&c, "fwd", 4);
    controls->BindControl(&b, "left", 5);
    controls->UnbindControl(&b);
    // A key left without bindings goes from the map.
    EXPECT_EQ(controls->bindings.count(kKeyA), 0u);
    ASSERT_EQ(controls->bindings[kKeyW].size(), 3u);

    inject::PressKey(kKeyW);
    inject::PressKey(kKeyA);
    rig.Poll();
    EXPECT_EQ(log, (Log{{&a, 1}, {&a, 3}, {&c, 4}}));

    // Unbinding something never bound changes nothing.
    controls->UnbindControl(&b);
    EXPECT_EQ(controls->bindings[kKeyW].size(), 3u);
}

namespace {
// Takes its own bindings back when told, as a receiver that goes away would.
class Quitter : public Component {
public:
    void OnMessage(ComponentMessage* message) override
    {
        ++told;
        if (message->id == 1)
            GetControls()->UnbindControl(this);
    }
    int told = 0;
};
} // namespace

TEST(KeyBindings, AReceiverMayUnbindItselfWhileBeingTold)
{
    InputRig rig("[Controls]\nfwd = W\nleft = A\n");
    Quitter quitter;
    Log log;
    Recorder after(&log);
    Controls* controls = GetControls();
    controls->BindControl(&quitter, "fwd", 1);
    controls->BindControl(&quitter, "fwd", 2);
    controls->BindControl(&after, "fwd", 3);
    controls->BindControl(&quitter, "left", 4);
    controls->BindControl(&after, "left", 5);
    inject::PressKey(kKeyW);
    inject::PressKey(kKeyA);
    rig.Poll();
    // Told once; the next binding of the key still runs, the other key only
    // reaches the receiver that is left.
    EXPECT_EQ(quitter.told, 1);
    EXPECT_EQ(log, (Log{{&after, 3}, {&after, 5}}));
}

TEST(KeyBindings, TerminalKeyPressesReachTheBindingsForOneFrame)
{
    InputRig rig("[Controls]\nfwd = W\nright = RIGHT\n");
    Log log;
    Recorder r(&log);
    GetControls()->BindControl(&r, "fwd", IMSG_ACTION_FWD);
    GetControls()->BindControl(&r, "right", IMSG_ACTION_RIGHT);
    inject::TypeOnTerminal("w\x1b[C");
    rig.Poll();
    EXPECT_EQ(log, (Log{{&r, IMSG_ACTION_FWD}, {&r, IMSG_ACTION_RIGHT}}));
    log.clear();
    rig.Poll();
    EXPECT_TRUE(log.empty());
}
