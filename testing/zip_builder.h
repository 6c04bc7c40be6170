#pragma once
// Writes small ZIP archives for the file-system tests, benchmarks and fuzz
// seeds: stored or deflated entries (raw deflate through zlib), folders by path.
#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/bytes/byte_writer.h"

namespace ziptest {

struct Entry {
    std::string name;     // "folder/inner/file.txt"; a trailing '/' makes a folder entry
    std::string data;
    bool deflate = false;
};

inline std::string Deflate(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The bytes of a whole archive with the entries in the given order.
inline std::string Build(const std::vector<Entry>& entries)
{
    platform::ByteWriter out, central;
    for (const Entry& e : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const std::string packed = e.deflate ? Deflate(e.data) : e.data;
        const uint16_t method = e.deflate ? 8 : 0;
        const uint32_t offset = static_cast<uint32_t>(out.Size());
        out.U32(0x04034b50);
        out.U16(20); out.U16(0); out.U16(method);
        out.U16(0); out.U16(0x21);            // time, date (1980-01-01)
        out.U32(crc); out.U32(static_cast<uint32_t>(packed.size()));
        out.U32(static_cast<uint32_t>(e.data.size()));
        out.U16(static_cast<uint16_t>(e.name.size())); out.U16(0);
        out.Chars(e.name);
        out.Chars(packed);

        central.U32(0x02014b50);
        central.U16(20); central.U16(20); central.U16(0); central.U16(method);
        central.U16(0); central.U16(0x21);
        central.U32(crc); central.U32(static_cast<uint32_t>(packed.size()));
        central.U32(static_cast<uint32_t>(e.data.size()));
        central.U16(static_cast<uint16_t>(e.name.size()));
        central.U16(0); central.U16(0); central.U16(0); central.U16(0);
        central.U32(e.name.back() == '/' ? 0x10 : 0);
        central.U32(offset);
        central.Chars(e.name);
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.Size());
    out.Bytes(central.Written());
    out.U32(0x06054b50);
    out.U16(0); out.U16(0);
    out.U16(static_cast<uint16_t>(entries.size())); out.U16(static_cast<uint16_t>(entries.size()));
    out.U32(static_cast<uint32_t>(central.Size())); out.U32(centralOffset);
    out.U16(0);
    const std::span<const uint8_t> bytes = out.Written();
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace ziptest
