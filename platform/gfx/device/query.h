#pragma once
// A GPU query (event or occlusion). Nothing is drawn, so an issued query is
// done after the number of polls the adapter is configured to keep it pending;
// an event answers TRUE and an occlusion query 0 pixels.
#include <cstdint>

#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/result.h"

namespace gfx {

class GpuQuery : public RefCounted {
public:
    uint32_t GetType() const { return type_; }
    uint32_t GetDataSize() const { return 4; }
    Result Issue(uint32_t flags);
    // kFalse while the query is still pending; `data` may be null with `size` 0.
    Result GetData(void* data, uint32_t size, uint32_t flags);

private:
    friend class Device;
    explicit GpuQuery(uint32_t type) : type_(type) {}

    uint32_t type_;
    uint32_t pendingPolls_ = 0;
    bool begun_ = false;
};

} // namespace gfx
