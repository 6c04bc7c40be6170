#include "testing/message_box_script.h"

#include "platform/window/modal_box.h"

namespace platform::testing {

ScriptedMessageBoxes::ScriptedMessageBoxes(unsigned fallback) : fallback_(fallback)
{
    detail::ThreadModalBoxInterceptor() = [this](const ModalBoxRequest& request) -> std::optional<unsigned> {
        shown_.push_back({request.caption, request.text});
        if (answers_.empty())
            return fallback_;
        unsigned answer = answers_.front();
        answers_.pop_front();
        return answer;
    };
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    detail::ThreadModalBoxInterceptor() = nullptr;
}

} // namespace platform::testing
