#pragma once
// Icons: the four system icons a message box shows. Programs here carry no
// icon resources, so loading one from a module finds nothing.
#include <string>

namespace platform {

struct Instance;
struct Icon {
    int id;
};

inline constexpr int kIconHand = 32513;
inline constexpr int kIconQuestion = 32514;
inline constexpr int kIconExclamation = 32515;
inline constexpr int kIconAsterisk = 32516;

// One of the system icons above, or null.
Icon* LoadSystemIcon(int id);
// An icon resource of a module by id or by name: null (no resources here).
Icon* LoadIconResource(Instance* module, int id);
Icon* LoadIconResource(Instance* module, const std::string& name);
// Releases a loaded icon (system icons are shared and stay).
void DestroyIcon(Icon* icon);

} // namespace platform
