#pragma once
// The most memory the process held resident since a moment a test chose, as the
// kernel counts it: every library's allocations and every page written included.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

namespace image_files {

class ResidentPeak {
public:
    // The kernel's high-water mark starts again from what is resident now.
    ResidentPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
    // Bytes the peak rose above the start.
    uint64_t Growth() const { return std::max(Field("VmHWM:"), start_) - start_; }
    // Not beside a thread sanitizer's shadow of every byte written, which a peak would count.
    static bool Measurable()
    {
#if ZANDREL_TSAN
        return false;
#endif
        return Field("VmHWM:") != 0;
    }

private:
    static uint64_t Field(const std::string& name)
    {
        std::ifstream status("/proc/self/status");
        std::string word;
        while (status >> word)
            if (word == name) {
                uint64_t kib = 0;
                status >> kib;
                return kib * 1024;
            }
        return 0;
    }

    const uint64_t start_ = Field("VmRSS:");
};

} // namespace image_files
