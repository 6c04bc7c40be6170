// Fuzz target: compiled-effect files, their size and checksum mended before
// they are read, so that every change reaches the checks behind the checksum.
// A refusal is one line with a reason; a file taken keeps every rule the
// compiler keeps, reads back the same from its own bytes, and begins, commits
// and ends every pass of every technique on a recording device.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

#include "fuzz/accepted_effect.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/compiled_effect_check.h"

namespace {

// The header: magic, version, payload size, the payload's CRC-32.
constexpr size_t kHeaderSize = 20;

void Put32(std::vector<uint8_t>& file, size_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        file[at + size_t(k)] = static_cast<uint8_t>(value >> (8 * k));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    if (file.size() >= kHeaderSize) {
        const size_t payload = file.size() - kHeaderSize;
        Put32(file, 12, static_cast<uint32_t>(payload));
        Put32(file, 16, static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), file.data() + kHeaderSize,
                                                    static_cast<uInt>(payload))));
    }
    gfx::EffectDescription description;
    std::string error;
    if (!gfx::ReadCompiledEffect(file.data(), file.size(), description, error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            std::abort();
        return 0;
    }
    if (!gfx::CheckCompiledEffect(description).empty())
        std::abort();
    CheckAcceptedEffect(description);
    return 0;
}
