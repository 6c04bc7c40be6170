#pragma once
// Writes small ZIP archives for the file-system tests, benchmarks and fuzz
// seeds: stored or deflated entries (raw deflate through zlib), folders by path,
// and an entry that inflates to far more than the archive holds.
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

// An entry as it lies in the archive: its bytes packed, their count unpacked.
struct PackedEntry {
    std::string name;
    std::string packed;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint16_t method = 0;  // 0 stored, 8 deflated
};

// The bytes of a whole archive with the packed entries in the given order.
inline std::string BuildPacked(const std::vector<PackedEntry>& entries)
{
    platform::ByteWriter out, central;
    for (const PackedEntry& e : entries) {
        const uint32_t offset = static_cast<uint32_t>(out.Size());
        out.U32(0x04034b50);
        out.U16(20); out.U16(0); out.U16(e.method);
        out.U16(0); out.U16(0x21);            // time, date (1980-01-01)
        out.U32(e.crc); out.U32(static_cast<uint32_t>(e.packed.size()));
        out.U32(e.size);
        out.U16(static_cast<uint16_t>(e.name.size())); out.U16(0);
        out.Chars(e.name);
        out.Chars(e.packed);

        central.U32(0x02014b50);
        central.U16(20); central.U16(20); central.U16(0); central.U16(e.method);
        central.U16(0); central.U16(0x21);
        central.U32(e.crc); central.U32(static_cast<uint32_t>(e.packed.size()));
        central.U32(e.size);
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

// The bytes of a whole archive with the entries in the given order.
inline std::string Build(const std::vector<Entry>& entries)
{
    std::vector<PackedEntry> packed;
    for (const Entry& e : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        packed.push_back({e.name, e.deflate ? Deflate(e.data) : e.data, static_cast<uint32_t>(e.data.size()), crc,
                          static_cast<uint16_t>(e.deflate ? 8 : 0)});
    }
    return BuildPacked(packed);
}

// A deflated entry of `size` zero bytes, packed a megabyte at a time: a few
// hundred kilobytes that inflate to what the archive says, without ever
// holding the whole of it.
inline PackedEntry ZeroBomb(const std::string& name, uint32_t size)
{
    const std::string zeros(1 << 20, '\0');
    PackedEntry entry{name, {}, size, static_cast<uint32_t>(crc32(0, Z_NULL, 0)), 8};
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(1 << 16, '\0');
    for (uint32_t left = size;;) {
        const uInt take = static_cast<uInt>(left < zeros.size() ? left : zeros.size());
        entry.crc = static_cast<uint32_t>(crc32(entry.crc, reinterpret_cast<const Bytef*>(zeros.data()), take));
        left -= take;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = take;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            result = deflate(&z, flush);
            entry.packed.append(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (left == 0)
            break;
    }
    deflateEnd(&z);
    return entry;
}

} // namespace ziptest
