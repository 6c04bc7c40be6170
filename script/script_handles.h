#pragma once
// The table behind the "int" values that scripts hold for engine objects.
// A script never sees an address: it gets a 32-bit handle, and every way back
// into the engine looks the handle up here. Unknown, stale or mistyped handles
// are refused with an error and never dereferenced.
#include <cstdint>

// What a handle stands for; a handle is only accepted back as its own kind.
enum class ScriptHandleKind : uint8_t {
    Component = 1,
    SceneNode = 2,
    PhysBody = 3,
};

// The handle of an object, made on first use and the same for as long as the
// object is known; 0 for a null object or when the table is full.
int32_t ScriptHandleOf(void* object, ScriptHandleKind kind);

// The object behind a handle, or null after reporting "Invalid script handle: "
// and the handle when it is unknown, stale or of another kind.
void* ScriptObjectOf(int32_t handle, ScriptHandleKind kind);

// Makes every handle of the object stale; owners call it before they go away.
void ForgetScriptHandle(const void* object);

// Number of live handles (for tests and diagnostics).
uint32_t LiveScriptHandles();

template <typename T>
T* ScriptObjectAs(int32_t handle, ScriptHandleKind kind)
{
    return static_cast<T*>(ScriptObjectOf(handle, kind));
}
