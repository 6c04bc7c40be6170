#include "platform/window/sdl_library.h"

#include <dlfcn.h>

#include <mutex>

namespace platform {

const SdlCalls* LoadSdl(std::string& why)
{
    static SdlCalls calls;
    static const SdlCalls* loaded = nullptr;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* error = dlerror();
            failure = error ? error : "libSDL2-2.0.so.0 cannot be loaded";
            return;
        }
#define ZANDREL_SDL_CALL(name)                                                                                        \
    calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(library, #name));                                       \
    if (!calls.name) {                                                                                                \
        failure = "libSDL2-2.0.so.0 has no " #name;                                                                   \
        return;                                                                                                       \
    }
        ZANDREL_SDL_CALLS(ZANDREL_SDL_CALL)
#undef ZANDREL_SDL_CALL
        loaded = &calls; // the library stays for the process: SDL keeps threads and handlers of its own
    });
    why = failure;
    return loaded;
}

} // namespace platform
