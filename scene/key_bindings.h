#pragma once
// Controls: the key bindings. Section Controls of "settings.ini" names a key
// for each action ("cameraFWD = W"); binding an action to a receiver makes the
// receiver get the action's message once per binding in every frame its key is
// held. Key names are the 50 of the key-name table, compared exactly (letters
// upper case only); an unknown name leaves the action unbound, silently.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Component;

struct KeyBinding {
    Component* target = nullptr;
    uint32_t messageId = 0;
};

class Controls {
public:
    // Fills the key names from the key-name table.
    Controls();

    // Binds the key that section Controls names for `action`.
    void BindControl(Component* target, const std::string& action, uint32_t messageId);
    // Every held key in ascending code order, each of its bindings in the order made.
    void UpdateControls();
    // Removes every binding of `target`; a key left without bindings goes.
    void UnbindControl(Component* target);

    // The code of a key name, 0 when the table does not know it.
    uint8_t KeyCode(const std::string& name) const;

    std::map<std::string, uint8_t> keyNames;
    std::map<uint8_t, std::vector<KeyBinding>> bindings;
};

Controls* GetControls();
// The bindings if they exist, without making them.
Controls* ExistingControls();
// Deletes the bindings and the key names.
void DestroyControls();
