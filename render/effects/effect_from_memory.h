#pragma once
// Effects made from bytes in memory: a compiled effect from the cache, or an
// effect source compiled here with defines (each defined as a single line
// feed). Failures are reported in the engine's words: the compiler's messages
// in one two-line box ("Shader <name> compilation error!"), or "Shader <name>
// not found." when there was nothing to make an effect from. A source left
// uncompiled because the program is closing is said in a line, with no box.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gfx {
class Device;
class RuntimeEffect;
} // namespace gfx

// An effect object as the engine holds it. Copies share one object (the
// variant maps of copied effect blocks do); the last holder frees it.
using EffectObject = std::shared_ptr<gfx::RuntimeEffect>;

// Makes the effect into `out` (emptied first) and reports a failure. With a
// device, the effect's passes bind to it. `result` receives the creation's
// result code.
bool CreateEffectFromMemory(const void* data, size_t size, const std::string& fileName,
                            const std::vector<std::string>* defines, gfx::Device* device, EffectObject& out,
                            int32_t& result);
