#include "kernel/handler_module.h"

#include "kernel/rs_hash.h"

void HandlerModuleBase::Dispatch(TaskMessage* task)
{
    if (!task)
        return;
    const auto found = handlers_.find(task->taskId);
    if (found != handlers_.end())
        found->second(task);
}

void HandlerModuleBase::StoreHandler(std::string_view taskName, std::function<void(TaskMessage*)> handler)
{
    handlers_[RSHash(taskName)] = std::move(handler);
}
