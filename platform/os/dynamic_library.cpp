#include "platform/os/dynamic_library.h"

#include <dlfcn.h>

namespace platform::os {

void* LoadLibrary(const std::string& name)
{
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryFunction(void* library, const std::string& name)
{
    if (!library)
        return nullptr;
    return ::dlsym(library, name.c_str());
}

bool UnloadLibrary(void* library)
{
    return library && ::dlclose(library) == 0;
}

} // namespace platform::os
