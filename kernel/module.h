#pragma once
// Anything attached to an engine thread: the thread hands every task it runs
// to each of its modules in attach order, and each module serves the task ids
// it registered and ignores the rest.
struct TaskMessage;
class EngineThread;

class Module {
public:
    virtual ~Module();
    // Called once when the module's thread is added: register the task handlers.
    virtual void RegisterHandlers();
    virtual void Dispatch(TaskMessage* task);

    // Set when the thread owns the module: the thread's destructor deletes it.
    bool owned = false;

    // The thread the module is attached to. A module destroyed before its
    // thread takes itself off the thread's list, so the thread never calls a
    // dead module. Destroy a module only while its thread is not running.
    EngineThread* attachedTo = nullptr;
};
