#pragma once
// Loading shared libraries at run time and finding their functions.
#include <string>

namespace platform::os {

// The library's handle, or null when it cannot be loaded.
void* LoadLibrary(const std::string& name);
// The named function of a loaded library, or null.
void* FindLibraryFunction(void* library, const std::string& name);
// False when the library could not be freed (a null handle included).
bool UnloadLibrary(void* library);

} // namespace platform::os
