#include "scene/key_bindings.h"

#include <algorithm>
#include <utility>

#include "kernel/settings.h"
#include "platform/input/scan_codes.h"
#include "scene/input_devices.h"
#include "script/component.h"

using namespace platform::input;

namespace {

Controls* controls = nullptr;

// The names accepted in section Controls. "`" is the key beside left Shift on
// 102-key boards, not the grave-accent key.
const std::pair<const char*, uint8_t> kKeyNameTable[] = {
    {"1", kKey1}, {"2", kKey2}, {"3", kKey3}, {"4", kKey4}, {"5", kKey5},
    {"6", kKey6}, {"7", kKey7}, {"8", kKey8}, {"9", kKey9}, {"0", kKey0},
    {"-", kKeyMinus}, {"=", kKeyEquals},
    {"Q", kKeyQ}, {"W", kKeyW}, {"E", kKeyE}, {"R", kKeyR}, {"T", kKeyT},
    {"Y", kKeyY}, {"U", kKeyU}, {"I", kKeyI}, {"O", kKeyO}, {"P", kKeyP},
    {"[", kKeyLeftBracket}, {"]", kKeyRightBracket},
    {"A", kKeyA}, {"S", kKeyS}, {"D", kKeyD}, {"F", kKeyF}, {"G", kKeyG},
    {"H", kKeyH}, {"J", kKeyJ}, {"K", kKeyK}, {"L", kKeyL},
    {";", kKeySemicolon},
    {"Z", kKeyZ}, {"X", kKeyX}, {"C", kKeyC}, {"V", kKeyV}, {"B", kKeyB}, {"N", kKeyN}, {"M", kKeyM},
    {",", kKeyComma}, {".", kKeyPeriod},
    {"`", kKeyOem102},
    {"UP", kKeyUp}, {"DOWN", kKeyDown}, {"LEFT", kKeyLeft}, {"RIGHT", kKeyRight},
    {"SPACE", kKeySpace}, {"ENTER", kKeyEnter},
};
static_assert(sizeof(kKeyNameTable) / sizeof(kKeyNameTable[0]) == 50);

} // namespace

Controls::Controls()
{
    for (const auto& [name, code] : kKeyNameTable)
        keyNames[name] = code;
}

uint8_t Controls::KeyCode(const std::string& name) const
{
    auto it = keyNames.find(name);
    return it == keyNames.end() ? 0 : it->second;
}

void Controls::BindControl(Component* target, const std::string& action, uint32_t messageId)
{
    const uint8_t code = KeyCode(GetSettings().GetString("Controls", action));
    if (code == 0)
        return;
    bindings[code].push_back(KeyBinding{target, messageId});
}

void Controls::UpdateControls()
{
    DirectInputDevices* input = GetDirectInput();
    // A receiver may bind or unbind while it is told: the walk goes over the
    // key's bindings as they were, skipping any that are gone by their turn,
    // and finds the next key afresh.
    std::vector<KeyBinding> told;
    for (auto key = bindings.begin(); key != bindings.end();) {
        const uint8_t code = key->first;
        if (input->IsKeyDown(code)) {
            told = key->second;
            for (const KeyBinding& binding : told) {
                auto now = bindings.find(code);
                if (now == bindings.end())
                    break;
                const bool stillBound =
                    std::any_of(now->second.begin(), now->second.end(), [&binding](const KeyBinding& b) {
                        return b.target == binding.target && b.messageId == binding.messageId;
                    });
                if (stillBound && binding.target)
                    binding.target->Notify(binding.messageId);
            }
        }
        key = bindings.upper_bound(code);
    }
}

void Controls::UnbindControl(Component* target)
{
    for (auto key = bindings.begin(); key != bindings.end();) {
        auto& list = key->second;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [target](const KeyBinding& binding) { return binding.target == target; }),
                   list.end());
        key = list.empty() ? bindings.erase(key) : std::next(key);
    }
}

Controls* GetControls()
{
    if (!controls)
        controls = new Controls;
    return controls;
}

Controls* ExistingControls()
{
    return controls;
}

void DestroyControls()
{
    delete controls;
    controls = nullptr;
}
