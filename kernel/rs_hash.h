#pragma once
// The id of every name in the engine: messages, threads, tasks, resources.
// h = 0, a = 63689; per byte (read as a signed 8-bit value) h = h*a + c and
// a = a*378551, all wrapping at 32 bits; the id is h with its top bit cleared,
// so an id is never negative and the empty name is 0.
#include <cstdint>
#include <string_view>

// Usable in constant expressions, so fixed names become ids at compile time:
//   constexpr uint32_t kLoadFromHDD = RSHashConst("LoadFromHDD");
constexpr uint32_t RSHashConst(std::string_view text)
{
    uint32_t h = 0;
    uint32_t a = 63689;
    for (char ch : text) {
        const int32_t c = static_cast<int8_t>(ch);
        h = h * a + static_cast<uint32_t>(c);
        a = a * 378551u;
    }
    return h & 0x7FFFFFFFu;
}

uint32_t RSHash(std::string_view text);
