#pragma once
// The in-memory dialog template: a header (style, size in dialog units, title)
// and its controls, laid out as the dialog manager reads it: 16-bit texts, each
// item on a 4-byte boundary, controls named by class atom.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint16_t kClassAtomButton = 0x0080;
inline constexpr uint16_t kClassAtomStatic = 0x0082;

struct DialogTemplateItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    uint16_t classAtom = kClassAtomStatic;
    std::string text;
};

struct DialogTemplate {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    std::vector<DialogTemplateItem> items;
};

// Bytes the written template takes.
size_t DialogTemplateSize(const DialogTemplate& dialog);
// Writes the template into `block` of DialogTemplateSize bytes; false when it is smaller.
bool WriteDialogTemplate(const DialogTemplate& dialog, uint8_t* block, size_t size);
// Reads a template back; nullopt when the bytes end too early or name a
// class by string (only atoms are known here).
std::optional<DialogTemplate> ReadDialogTemplate(const uint8_t* block, size_t size);

} // namespace platform
