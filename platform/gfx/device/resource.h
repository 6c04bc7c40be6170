#pragma once
// What every device-made resource shares: its device, pool, usage, kind, the
// video memory it took (given back when the last reference goes), and the
// version of its CPU bytes, which a drawing device's GPU copy follows.
#include <cstdint>

#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/resource_flags.h"

namespace gfx {

class Device;

namespace detail {
struct ResourceAccess; // the test hooks' reader of resource bytes
}

class Resource : public RefCounted {
public:
    // Null once the device itself has been released.
    Device* GetDevice() const { return device_; }
    ResourceType GetType() const { return type_; }
    uint32_t GetPool() const { return pool_; }
    uint32_t GetUsage() const { return usage_; }
    // Video memory this object holds (0 outside the default pool).
    uint64_t VideoBytes() const { return videoBytes_; }
    // Moves whenever the CPU may have changed the resource's bytes.
    uint64_t ContentVersion() const { return contentVersion_; }

protected:
    // `videoBytes` must already be reserved; the resource gives them back.
    // Resources that are part of another one pass `registered` false.
    Resource(Device* device, ResourceType type, uint32_t pool, uint32_t usage, uint64_t videoBytes,
             bool registered = true);
    ~Resource() override;
    void ContentChanged() { ++contentVersion_; }
    // Before the CPU reads or writes the bytes: what the GPU drew into them comes back.
    void SyncToCpu();
    // The lower levels made from the first by a drawing device.
    void GenerateMipsOnGpu();
    // Called before the bytes are freed: work still owed to them is settled.
    void BytesGoing();

private:
    friend class Device;
    void Orphan() { device_ = nullptr; }

    Device* device_;
    ResourceType type_;
    uint32_t pool_;
    uint32_t usage_;
    uint64_t videoBytes_;
    bool registered_;
    uint64_t contentVersion_ = 1;
};

} // namespace gfx
