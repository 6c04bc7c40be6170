#include "kernel/module.h"

#include "kernel/engine_thread.h"

Module::~Module()
{
    if (attachedTo)
        attachedTo->RemoveModule(this);
}

void Module::RegisterHandlers() {}

void Module::Dispatch(TaskMessage* /*task*/) {}
