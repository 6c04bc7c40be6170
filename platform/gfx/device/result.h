#pragma once
// Result codes of the graphics layer (32-bit, negative = failure) and the text
// that describes each one in messages. The numbers are kept exactly because the
// engine stores, prints and compares them.
#include <cstdint>

namespace gfx {

using Result = int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kFalse = 1; // succeeded, but the answer is "not yet" (a query still pending)
inline constexpr Result kFail = static_cast<int32_t>(0x80004005u);
inline constexpr Result kNoInterface = static_cast<int32_t>(0x80004002u);
inline constexpr Result kAbort = static_cast<int32_t>(0x80004004u);
inline constexpr Result kOutOfMemory = static_cast<int32_t>(0x8007000Eu);
inline constexpr Result kInvalidArgument = static_cast<int32_t>(0x80070057u);
inline constexpr Result kOutOfVideoMemory = static_cast<int32_t>(0x8876017Cu);
inline constexpr Result kNotFound = static_cast<int32_t>(0x88760866u);
inline constexpr Result kDeviceLost = static_cast<int32_t>(0x88760868u);
inline constexpr Result kNotAvailable = static_cast<int32_t>(0x8876086Au);
inline constexpr Result kInvalidCall = static_cast<int32_t>(0x8876086Cu);
inline constexpr Result kInvalidData = static_cast<int32_t>(0x88760B59u);

inline constexpr bool Succeeded(Result result) { return result >= 0; }
inline constexpr bool Failed(Result result) { return result < 0; }

// A short human-readable description of a result code; "Unknown error" for a
// code the layer never returns. The text lives as long as the program.
const char* DescribeResult(Result result);

} // namespace gfx
