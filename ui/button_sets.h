#pragma once
// The button sets of a message box style: each button's caption slot and
// command id, left to right, and what Escape and Close do with the set.
#include <cstdint>
#include <vector>

// Dialog flags: the check-box kind (1, 2 or 4), then what Escape and Close do.
inline constexpr uint32_t kFlagHasCancel = 8;
inline constexpr uint32_t kFlagOkOnly = 16;

struct SetButton {
    int slot;
    unsigned id;
};

struct ButtonSet {
    std::vector<SetButton> buttons;
    uint32_t flags = 0; // kFlagHasCancel, kFlagOkOnly or none
};

// The set of the style's low four bits; "to All" buttons join sets 3 and 4 only.
ButtonSet ButtonSetOfStyle(uint32_t style);
