#pragma once
// Small writers of the uncompressed and run-length texture files for the
// decoder and loader tests: TGA, BMP and DIB, PPM/PGM/PBM, PFM and Radiance
// HDR. Each takes the texels as the file stores them (bytes of a texel, or a
// colour-table index a byte), rows from the top and texels from the left, and
// writes them in the order and coding its options ask for.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace image_files {

struct TgaOptions {
    uint32_t bits = 32;     // of a stored texel or colour-map index: 8, 15, 16, 24 or 32
    uint8_t type = 2;       // 1 colour-mapped, 2 true colour, 3 grey
    bool runLength = false; // the type plus 8
    bool topDown = false;   // origin at the top instead of the bottom
    bool rightToLeft = false;
    uint8_t idLength = 0;   // bytes of image id after the header
    uint8_t alphaBits = 0;  // the descriptor's count of alpha bits
    uint32_t mapBits = 0;   // colour-mapped: bits of an entry (15, 16, 24 or 32)
    uint16_t mapFirst = 0;  // the first entry's index
    std::vector<uint8_t> map; // the entries as stored
};

std::vector<uint8_t> WriteTga(uint32_t width, uint32_t height, const std::vector<uint8_t>& stored,
                              const TgaOptions& options);

struct BmpOptions {
    uint32_t bits = 24;
    bool topDown = false;      // negative height
    uint32_t infoSize = 40;    // 12, 40, 52, 56, 64, 108 or 124
    uint32_t compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 masks, 6 masks with alpha
    std::array<uint32_t, 4> masks{0, 0, 0, 0}; // red, green, blue, alpha
    std::vector<uint8_t> table; // colour-table entries as stored (3 bytes each in a 12-byte header, else 4)
    uint32_t colours = 0;      // the header's count of table entries (0: all)
    bool dib = false;          // without the 14-byte file header
    bool skipWithDelta = false; // RLE: the last row's texels after the first are skipped with a jump
};

std::vector<uint8_t> WriteBmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& stored,
                              const BmpOptions& options);

// `samples` from the top row, one a channel (1 or 3), each at most `maximum`.
// Kinds: '1' to '6' (text and binary PBM, PGM, PPM).
std::vector<uint8_t> WritePnm(char kind, uint32_t width, uint32_t height, uint32_t maximum,
                              const std::vector<uint32_t>& samples, const std::string& comment = "");

// `values` from the top row, 1 or 3 a texel; rows written from the bottom.
std::vector<uint8_t> WritePfm(uint32_t width, uint32_t height, uint32_t channels, const std::vector<float>& values,
                              bool littleEndian);

// `rgbe` 4 bytes a texel from the top row; scanlines run-length encoded
// (widths 8 to 32767) or flat.
std::vector<uint8_t> WriteHdr(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgbe, bool runLength);

// A recognisable BGRA picture of width x height texels.
std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, bool withAlpha);

} // namespace image_files
