#pragma once
// Result codes of the effect object. The numbers are the graphics layer's usual
// 32-bit codes, so a caller that stores or prints them sees the familiar values.
#include <cstdint>

namespace gfx {

using EffectResult = int32_t;

inline constexpr EffectResult kEffectOk = 0;
// The effect has no parameter or technique of that name.
inline constexpr EffectResult kEffectNotFound = static_cast<int32_t>(0x88760866u);
// The call does not fit the parameter's kind or the effect's begun/pass state.
inline constexpr EffectResult kEffectInvalidCall = static_cast<int32_t>(0x8876086Cu);
// The bytes are neither a compiled effect nor a source that compiles.
inline constexpr EffectResult kEffectInvalidData = static_cast<int32_t>(0x88760B59u);
inline constexpr EffectResult kEffectOutOfMemory = static_cast<int32_t>(0x8007000Eu);

inline constexpr bool EffectSucceeded(EffectResult result) { return result >= 0; }

} // namespace gfx
