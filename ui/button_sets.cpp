#include "ui/button_sets.h"

#include "ui/caption_table.h"
#include "ui/engine_message_box.h"

ButtonSet ButtonSetOfStyle(uint32_t style)
{
    const bool yesToAll = style & kStyleYesToAll;
    const bool noToAll = style & kStyleNoToAll;
    ButtonSet set;
    switch (style & kStyleButtonSetMask) {
    case 0:
        set = {{{SlotOk, kIdOk}}, kFlagOkOnly};
        break;
    case 1:
        set = {{{SlotOk, kIdOk}, {SlotCancel, kIdCancel}}, kFlagHasCancel};
        break;
    case 2:
        set = {{{SlotAbort, kIdAbort}, {SlotRetry, kIdRetry}, {SlotIgnore, kIdIgnore}}, 0};
        break;
    case 3:
    case 4:
        set.buttons.push_back({SlotYes, kIdYes});
        if (yesToAll)
            set.buttons.push_back({SlotYesToAll, kIdYesToAll});
        set.buttons.push_back({SlotNo, kIdNo});
        if (noToAll)
            set.buttons.push_back({SlotNoToAll, kIdNoToAll});
        if ((style & kStyleButtonSetMask) == 3) {
            set.buttons.push_back({SlotCancel, kIdCancel});
            set.flags = kFlagHasCancel;
        }
        break;
    case 5:
        set = {{{SlotRetry, kIdRetry}, {SlotCancel, kIdCancel}}, kFlagHasCancel};
        break;
    case 6:
        set = {{{SlotCancel, kIdCancel}, {SlotTryAgain, kIdTryAgain}, {SlotContinue, kIdContinueAnyway}},
               kFlagHasCancel};
        break;
    case 7:
        set = {{{SlotContinue, kIdContinueAnyway}, {SlotAbort, kIdAbort}}, 0};
        break;
    case 8:
        set = {{{SlotSkip, kIdSkip}, {SlotSkipAll, kIdSkipAll}, {SlotCancel, kIdCancel}}, kFlagHasCancel};
        break;
    case 9:
        set = {{{SlotIgnore, kIdIgnore}, {SlotIgnoreAll, kIdIgnoreAll}, {SlotCancel, kIdCancel}}, kFlagHasCancel};
        break;
    default:
        set = {{{SlotOk, kIdOk}}, 0};
        break;
    }
    return set;
}
