#pragma once
// Result codes of the effect object: the graphics layer's own codes under the
// names the effect's callers use.
#include "platform/gfx/device/result.h"

namespace gfx {

using EffectResult = Result;

inline constexpr EffectResult kEffectOk = kOk;
// The effect has no parameter or technique of that name.
inline constexpr EffectResult kEffectNotFound = kNotFound;
// The call does not fit the parameter's kind or the effect's begun/pass state.
inline constexpr EffectResult kEffectInvalidCall = kInvalidCall;
// The bytes are neither a compiled effect nor a source that compiles.
inline constexpr EffectResult kEffectInvalidData = kInvalidData;
// A source not compiled, or its compile ended, because the program is closing.
inline constexpr EffectResult kEffectAborted = kAbort;

} // namespace gfx
