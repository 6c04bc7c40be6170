#pragma once
// An input device: it is given a data format and a cooperative level, is
// acquired, and then reads its whole state at once. Losing the main window's
// focus takes it away: reads fail until it is acquired again with the focus
// back. An exclusive mouse keeps the pointer to the window while acquired. Result codes are the numbers the callers test (success has the top
// bit clear).
#include <cstddef>
#include <cstdint>

namespace platform {
class Window;
}

namespace platform::input {

inline constexpr uint32_t kInputOk = 0;
inline constexpr uint32_t kInputAccessDenied = 0x80070005;  // another application has the device
inline constexpr uint32_t kInputNotAcquired = 0x8007000C;
inline constexpr uint32_t kInputLost = 0x8007001E;
inline constexpr uint32_t kInputInvalidParam = 0x80070057;
inline constexpr uint32_t kInputNoInterface = 0x80004002;
inline constexpr uint32_t kInputDeviceNotRegistered = 0x80040154;

inline bool InputSucceeded(uint32_t result)
{
    return (result & 0x80000000u) == 0;
}

// Cooperative level bits.
inline constexpr uint32_t kCoopExclusive = 0x1;
inline constexpr uint32_t kCoopNonExclusive = 0x2;
inline constexpr uint32_t kCoopForeground = 0x4;
inline constexpr uint32_t kCoopBackground = 0x8;

enum class DataFormat { kNone, kKeyboard, kMouse };

class InputDevice {
public:
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    // Only the format the device reads is accepted.
    uint32_t SetDataFormat(DataFormat format);
    uint32_t SetCooperativeLevel(Window* window, uint32_t flags);
    // Fails without a format, or while the main window has no focus.
    uint32_t Acquire();
    uint32_t Unacquire();
    // `size` bytes of state into `data`; on failure `data` is left as it was.
    virtual uint32_t GetDeviceState(size_t size, void* data) = 0;
    // Unacquires and destroys the device.
    void Release();

    bool Acquired() const { return acquired_; }
    int AcquireCalls() const { return acquireCalls_; }
    int UnacquireCalls() const { return unacquireCalls_; }
    uint32_t CooperativeLevel() const { return cooperativeLevel_; }

protected:
    explicit InputDevice(DataFormat accepted) : accepted_(accepted) {}
    virtual ~InputDevice();
    // kInputOk when a state of `size` bytes may be read now (the state size of
    // the accepted format is `stateSize`).
    uint32_t CheckRead(size_t size, void* data, size_t stateSize);

private:
    void SetAcquired(bool acquired);

    DataFormat accepted_;
    DataFormat format_ = DataFormat::kNone;
    uint32_t cooperativeLevel_ = 0;
    bool acquired_ = false;
    uint64_t acquiredAtLoss_ = 0;
    int acquireCalls_ = 0;
    int unacquireCalls_ = 0;
};

} // namespace platform::input
