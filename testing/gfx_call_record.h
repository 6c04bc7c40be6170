#pragma once
// Test hook: while alive, every graphics call (with its arguments and result)
// and every validated draw is recorded, for the test to read back.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/recorded_draw.h"

namespace platform::testing {

using GfxCall = gfx::detail::CallEntry;

class GfxCallRecord {
public:
    GfxCallRecord();  // starts an empty record
    ~GfxCallRecord(); // stops recording and drops the record
    GfxCallRecord(const GfxCallRecord&) = delete;
    GfxCallRecord& operator=(const GfxCallRecord&) = delete;

    std::vector<GfxCall> Calls() const;
    std::vector<gfx::RecordedDraw> Draws() const;
    // The calls of one name, in order.
    std::vector<GfxCall> Calls(const std::string& name) const;
    size_t Count(const std::string& name) const;
    // Names of all calls in order (handy for order checks).
    std::vector<std::string> Names() const;
    void Clear();
};

} // namespace platform::testing
