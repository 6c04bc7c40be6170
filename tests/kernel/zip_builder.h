#pragma once
// Writes small ZIP archives for the file-system tests, benchmarks and fuzz
// seeds: stored or deflated entries (raw deflate through zlib), folders by path.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

struct Entry {
    std::string name;     // "folder/inner/file.txt"; a trailing '/' makes a folder entry
    std::string data;
    bool deflate = false;
};

inline void Put16(std::string& out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

inline void Put32(std::string& out, uint32_t v)
{
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

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
    std::string out, central;
    for (const Entry& e : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const std::string packed = e.deflate ? Deflate(e.data) : e.data;
        const uint16_t method = e.deflate ? 8 : 0;
        const uint32_t offset = static_cast<uint32_t>(out.size());
        Put32(out, 0x04034b50);
        Put16(out, 20); Put16(out, 0); Put16(out, method);
        Put16(out, 0); Put16(out, 0x21);            // time, date (1980-01-01)
        Put32(out, crc); Put32(out, static_cast<uint32_t>(packed.size()));
        Put32(out, static_cast<uint32_t>(e.data.size()));
        Put16(out, static_cast<uint16_t>(e.name.size())); Put16(out, 0);
        out += e.name;
        out += packed;

        Put32(central, 0x02014b50);
        Put16(central, 20); Put16(central, 20); Put16(central, 0); Put16(central, method);
        Put16(central, 0); Put16(central, 0x21);
        Put32(central, crc); Put32(central, static_cast<uint32_t>(packed.size()));
        Put32(central, static_cast<uint32_t>(e.data.size()));
        Put16(central, static_cast<uint16_t>(e.name.size()));
        Put16(central, 0); Put16(central, 0); Put16(central, 0); Put16(central, 0);
        Put32(central, e.name.back() == '/' ? 0x10 : 0);
        Put32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0); Put16(out, 0);
    Put16(out, static_cast<uint16_t>(entries.size())); Put16(out, static_cast<uint16_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size())); Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

} // namespace ziptest
