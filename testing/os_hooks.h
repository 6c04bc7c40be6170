#pragma once
// Test hooks into platform/os: move the millisecond clock, record sleeps
// instead of sleeping, pretend another executable path or a processor without
// features, restart rand().
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::testing {

// While alive, the millisecond clock reads `bias` more (wrapping).
class MillisecondClockBias {
public:
    explicit MillisecondClockBias(uint32_t bias);
    ~MillisecondClockBias();
    MillisecondClockBias(const MillisecondClockBias&) = delete;
    MillisecondClockBias& operator=(const MillisecondClockBias&) = delete;

private:
    uint32_t saved_;
};

// While alive, the executable's path reads as `path`.
class ExecutablePathAs {
public:
    explicit ExecutablePathAs(std::string path);
    ~ExecutablePathAs();
    ExecutablePathAs(const ExecutablePathAs&) = delete;
    ExecutablePathAs& operator=(const ExecutablePathAs&) = delete;

private:
    std::optional<std::string> saved_;
};

// While alive, every processor feature test answers `present`.
class ProcessorFeaturesAs {
public:
    explicit ProcessorFeaturesAs(bool present);
    ~ProcessorFeaturesAs();
    ProcessorFeaturesAs(const ProcessorFeaturesAs&) = delete;
    ProcessorFeaturesAs& operator=(const ProcessorFeaturesAs&) = delete;

private:
    std::optional<bool> saved_;
};

// While alive, SleepMilliseconds does not sleep: it records each request.
class RecordedSleeps {
public:
    RecordedSleeps();
    ~RecordedSleeps();
    RecordedSleeps(const RecordedSleeps&) = delete;
    RecordedSleeps& operator=(const RecordedSleeps&) = delete;

    // The milliseconds asked for since the object was made, in order.
    std::vector<uint32_t> Requests() const;
};

// The calling thread's rand() starts its sequence again.
void RestartRand();

} // namespace platform::testing
