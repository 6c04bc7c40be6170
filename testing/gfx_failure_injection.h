#pragma once
// Test hook: makes named graphics calls answer a chosen result code. Names are
// the ones the call record shows ("CreateTexture", "Present", "LockRect",
// "GetAvailableVidMem", "Stereo::Initialize", ...). A failing code makes the
// call fail without effect; stereo driver calls answer any code given. All
// injections end with this object.
#include <cstdint>
#include <string>

#include "platform/gfx/device/result.h"

namespace platform::testing {

class GfxFailureInjection {
public:
    GfxFailureInjection();
    ~GfxFailureInjection();
    GfxFailureInjection(const GfxFailureInjection&) = delete;
    GfxFailureInjection& operator=(const GfxFailureInjection&) = delete;

    // The next `times` calls of `name` (0 = every call), after `skip` calls that
    // pass, answer `result`.
    void Fail(const std::string& name, gfx::Result result, uint32_t times = 1, uint32_t skip = 0);
    void Clear();
};

} // namespace platform::testing
