#include "ui/engine_message_box.h"

#include "platform/window/modal_box.h"

namespace {

platform::ModalBoxRequest ButtonsOfStyle(unsigned style)
{
    platform::ModalBoxRequest request;
    switch (style & 0x0f) {
    case 7:
        request.buttons = {{kIdContinueAnyway, "&Continue Anyway"}, {kIdAbort, "&Abort"}};
        break;
    case 1:
        request.buttons = {{kIdOk, "&OK"}, {kIdCancel, "&Cancel"}};
        break;
    case 4:
        request.buttons = {{kIdYes, "&Yes"}, {kIdNo, "&No"}};
        break;
    default:
        request.buttons = {{kIdOk, "&OK"}};
        break;
    }
    return request;
}

} // namespace

unsigned EngineMessageBox(platform::Window*, const char* text, const char* caption, unsigned style,
                          const MessageBoxParams*)
{
    platform::ModalBoxRequest request = ButtonsOfStyle(style);
    request.caption = caption ? caption : "Error";
    request.text = text ? text : "";
    return platform::ShowModalBox(request);
}
