#pragma once
// Test hook: while alive, every graphics call (with its arguments and result)
// and every validated draw is recorded, for the test to read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/device/hooks.h" // gfx::detail::Arg: a pointer argument as recorded
#include "platform/gfx/device/recorded_draw.h"
#include "platform/gfx/device/result.h"

namespace platform::testing {

struct GfxCall {
    std::string name;
    std::vector<uint64_t> args; // integers and pointers, in call order
    std::vector<float> floats;  // float arguments (clip planes, clear depth)
    gfx::Result result = gfx::kOk;
};

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
