#pragma once
// Pictures of presented frames: PNG files written with stb_image_write, at most
// once a second while frames come, and once more when the device goes, so the
// file always ends up holding the last frame presented.
#include <chrono>
#include <cstdint>
#include <string>

namespace gfx::raster {

// Writes `width` x `height` texels of 8-bit B,G,R,A rows (`pitch` bytes apart)
// as an RGB PNG; the alpha channel is left out, as a window shows none. False
// when the file cannot be opened, written or closed (a full disk), with why in
// `why` (the system's text).
bool WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height, uint32_t pitch,
              std::string& why);

class FrameCapture {
public:
    explicit FrameCapture(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }
    // True when a presented frame should be written now (the first one, then
    // one a second).
    bool Due(std::chrono::steady_clock::time_point now) const;
    void Written(std::chrono::steady_clock::time_point now) { last_ = now, wroteAny_ = true; }

private:
    std::string path_;
    std::chrono::steady_clock::time_point last_{};
    bool wroteAny_ = false;
};

} // namespace gfx::raster
