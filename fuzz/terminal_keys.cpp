// Terminal bytes, split at every point the input chooses, through the key
// decoder: no crash, no unbounded growth, and only known scan codes.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/input/terminal_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::input::TerminalKeyDecoder decoder;
    std::vector<uint8_t> codes;
    // The first byte picks the chunk size, as reads split the stream.
    const size_t chunk = size > 0 ? (data[0] % 7) + 1 : 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (size_t at = size > 0 ? 1 : 0; at < size; at += chunk) {
        decoder.Feed(bytes.substr(at, chunk), codes);
        if (data[at] == 0xff)
            decoder.Expire(codes);
    }
    decoder.Expire(codes);
    for (uint8_t code : codes)
        if (code == 0)
            __builtin_trap();
    if (decoder.Waiting())
        __builtin_trap();
    return 0;
}
