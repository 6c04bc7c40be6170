#pragma once
// A module serving tasks by id: handlers are registered under the RSHash of the
// task's name and found by the task's id when it runs. A handler is a plain
// function taking the module and the task, or a member function of the module
// taking the task; its result is not used. A second handler for one name
// replaces the first.
//
//   class ResourceTaskModule : public HandlerModule<ResourceTaskModule> {
//       void RegisterHandlers() override { RegisterHandler("UnloadResource", &ResourceTaskModule::Unload); }
//       void Unload(TaskMessage* task);
//   };
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include "kernel/module.h"
#include "kernel/task_message.h"

class HandlerModuleBase : public Module {
public:
    // Runs the handler registered for the task's id; other ids are ignored.
    void Dispatch(TaskMessage* task) override;
    bool HasHandler(uint32_t taskId) const { return handlers_.count(taskId) != 0; }

protected:
    void StoreHandler(std::string_view taskName, std::function<void(TaskMessage*)> handler);

private:
    std::map<uint32_t, std::function<void(TaskMessage*)>> handlers_;
};

template <class Derived>
class HandlerModule : public HandlerModuleBase {
public:
    template <class R>
    void RegisterHandler(std::string_view taskName, R (*handler)(Derived*, TaskMessage*))
    {
        StoreHandler(taskName, [this, handler](TaskMessage* task) { handler(Self(), task); });
    }

    template <class R>
    void RegisterHandler(std::string_view taskName, R (Derived::*handler)(TaskMessage*))
    {
        StoreHandler(taskName, [this, handler](TaskMessage* task) { (Self()->*handler)(task); });
    }

private:
    Derived* Self() { return static_cast<Derived*>(this); }
};
