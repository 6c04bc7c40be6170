#pragma once
// The most memory the process held resident since a moment a test chose, as
// the kernel counts it: what a decode or a load really took at its worst,
// every library's allocations and every page written included.
#include <cstdint>
#include <fstream>
#include <string>

namespace image_files {

class ResidentPeak {
public:
    // The kernel's high-water mark starts again from what is resident now.
    ResidentPeak()
    {
        std::ofstream("/proc/self/clear_refs") << "5";
        start_ = Field("VmRSS:");
    }
    // Bytes the peak rose above the start.
    uint64_t Growth() const
    {
        const uint64_t peak = Field("VmHWM:");
        return peak > start_ ? peak - start_ : 0;
    }
    // A thread sanitizer keeps shadow memory beside every byte written, which
    // a peak would count: no bound on it holds there.
    static bool Measurable()
    {
#if defined(__SANITIZE_THREAD__)
        return false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
        return false;
#endif
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

    uint64_t start_ = 0;
};

} // namespace image_files
