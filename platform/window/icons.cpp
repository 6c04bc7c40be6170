#include "platform/window/icons.h"

namespace platform {

Icon* LoadSystemIcon(int id)
{
    static Icon hand{kIconHand}, question{kIconQuestion}, exclamation{kIconExclamation}, asterisk{kIconAsterisk};
    switch (id) {
    case kIconHand:
        return &hand;
    case kIconQuestion:
        return &question;
    case kIconExclamation:
        return &exclamation;
    case kIconAsterisk:
        return &asterisk;
    default:
        return nullptr;
    }
}

Icon* LoadIconResource(Instance*, int)
{
    return nullptr;
}

Icon* LoadIconResource(Instance*, const std::string&)
{
    return nullptr;
}

void DestroyIcon(Icon*)
{
}

} // namespace platform
