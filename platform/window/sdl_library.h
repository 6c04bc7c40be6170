#pragma once
// SDL2, loaded the first time a real window is wanted: a program without a
// display never maps it nor the forty libraries it brings (sound, Wayland,
// D-Bus), which would cost every start. The calls the window code makes, by
// their SDL names.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <string>

namespace platform {

#define ZANDREL_SDL_CALLS(X)                                                                                          \
    X(SDL_SetHint)                                                                                                    \
    X(SDL_InitSubSystem)                                                                                              \
    X(SDL_QuitSubSystem)                                                                                              \
    X(SDL_Quit)                                                                                                       \
    X(SDL_GetError)                                                                                                   \
    X(SDL_StopTextInput)                                                                                              \
    X(SDL_SetRelativeMouseMode)                                                                                       \
    X(SDL_PollEvent)                                                                                                  \
    X(SDL_GetDisplayBounds)                                                                                           \
    X(SDL_CreateWindow)                                                                                               \
    X(SDL_DestroyWindow)                                                                                              \
    X(SDL_GetWindowID)                                                                                                \
    X(SDL_SetWindowSize)                                                                                              \
    X(SDL_GetWindowSize)                                                                                              \
    X(SDL_ShowWindow)                                                                                                 \
    X(SDL_SetWindowTitle)                                                                                             \
    X(SDL_GetWindowTitle)                                                                                             \
    X(SDL_GetWindowFlags)                                                                                             \
    X(SDL_GetWindowWMInfo)                                                                                            \
    X(SDL_GetWindowSurface)                                                                                           \
    X(SDL_UpdateWindowSurface)                                                                                        \
    X(SDL_CreateRGBSurfaceWithFormatFrom)                                                                             \
    X(SDL_SetSurfaceBlendMode)                                                                                        \
    X(SDL_FreeSurface)                                                                                                \
    X(SDL_UpperBlit)                                                                                                  \
    X(SDL_UpperBlitScaled)

struct SdlCalls {
#define ZANDREL_SDL_CALL(name) decltype(&::name) name = nullptr;
    ZANDREL_SDL_CALLS(ZANDREL_SDL_CALL)
#undef ZANDREL_SDL_CALL
};

// The calls, loaded on first use and kept for the process; null when the
// library or one of its calls cannot be had, `why` then says what failed.
const SdlCalls* LoadSdl(std::string& why);

} // namespace platform
