#include "kernel/module.h"

Module::~Module() = default;

void Module::RegisterHandlers() {}

void Module::Dispatch(TaskMessage* /*task*/) {}
