#pragma once
// The compiled-effect file (".fxo"): what the effect compiler writes and effects
// are created from. Layout, all numbers little-endian:
//   8 bytes magic "ZFXC\r\n\x1a\n", u32 format version, u32 payload size,
//   u32 CRC-32 of the payload, then the payload: the EffectDescription
//   (strings as u32 length + bytes, lists as u32 count + items), the struct
//   types of its parameters, each pass with its program (SPIR-V and GLSL of
//   both stages, uniform places with where each begins among its parameter's
//   values, sampler places, vertex inputs), its state assignments, and the
//   programs of its shaders chosen from arrays; each sampler with its state
//   assignments; and last, only where some sampler is bound by register, the
//   list of those samplers and their units. A program that passes share is
//   written whole where the first names it and after that as u32 0xFFFFFFFF
//   and its number among the programs written whole, in the order written.
//   Files of an older version are refused, so their source is compiled again.
// Reading checks every length, count, kind and reference, so a damaged file is
// refused with a reason and never read past its end; past its checksum, every
// fact is held to what the compiler writes (compiled_effect_check.h), so a
// crafted file is refused in one line too.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/parser/effect_description.h"

namespace gfx {

inline constexpr char kCompiledEffectMagic[8] = {'Z', 'F', 'X', 'C', '\r', '\n', '\x1a', '\n'};
inline constexpr uint32_t kCompiledEffectVersion = 4;

// True when `data` starts with the compiled-effect magic (it may still be damaged).
bool LooksLikeCompiledEffect(const void* data, size_t size);

// The most a compiled file may hold: what the program reads of a file
// (kLargestFileBytes).
inline constexpr uint64_t kMaxCompiledEffectBytes = uint64_t{256} << 20;
namespace detail {
// Test hook: replaces kMaxCompiledEffectBytes, at compile and in the writer, when above 0.
std::atomic<uint64_t>& CompiledEffectBytesOverride();
} // namespace detail
// The bound in force: kMaxCompiledEffectBytes, but for the test hook.
uint64_t MaxCompiledEffectBytes();

// The bytes of the compiled file of `description`, counted as the file would
// be written, without keeping it.
uint64_t CompiledEffectBytes(const EffectDescription& description);

// Empty when the file would come to more than MaxCompiledEffectBytes(): what
// passes the bound is not kept.
std::vector<uint8_t> WriteCompiledEffect(const EffectDescription& description);

// Returns false with the reason in `error` when the bytes are not a sound
// compiled effect; `out` is only changed on success.
bool ReadCompiledEffect(const void* data, size_t size, EffectDescription& out, std::string& error);

// One pass's program alone, laid out as in the file (no header), to hand it
// between processes; read with the same checks.
std::vector<uint8_t> WritePassProgram(const PassProgram& program);
bool ReadPassProgram(const void* data, size_t size, PassProgram& out, std::string& error);

} // namespace gfx
