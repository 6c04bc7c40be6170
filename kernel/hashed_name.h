#pragma once
// A name kept beside its hash: a fixed, zero-terminated character array, the
// text's length and its RSHash. Text longer than the array holds is cut to fit
// (31 or 127 characters) and the hash is that of the stored text, so a name
// always matches what can be read back from it. Plain data: it may be copied
// into task payloads and files byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "kernel/rs_hash.h"

template <size_t N>
struct HashedName {
    static_assert(N > 1);
    static constexpr size_t kMaxLength = N - 1;

    char chars[N] = {};
    uint32_t length = 0;
    uint32_t hash = 0;

    // Copies the text up to its first zero byte, at most kMaxLength characters.
    void Assign(std::string_view text)
    {
        const size_t zero = text.find('\0');
        if (zero != std::string_view::npos)
            text = text.substr(0, zero);
        if (text.size() > kMaxLength)
            text = text.substr(0, kMaxLength);
        if (!text.empty()) // an empty view may have no characters at all
            std::memcpy(chars, text.data(), text.size());
        chars[text.size()] = '\0';
        length = static_cast<uint32_t>(text.size());
        hash = RSHash(text);
    }

    std::string_view View() const { return std::string_view(chars, length); }
    const char* c_str() const { return chars; }
};

using HashedName128 = HashedName<128>;
using HashedName32 = HashedName<32>;

static_assert(sizeof(HashedName128) == 136);
static_assert(sizeof(HashedName32) == 40);
