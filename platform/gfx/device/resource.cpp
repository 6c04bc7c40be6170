#include "platform/gfx/device/resource.h"

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/device.h"

namespace gfx {

Resource::Resource(Device* device, ResourceType type, uint32_t pool, uint32_t usage, uint64_t videoBytes,
                   bool registered)
    : device_(device), type_(type), pool_(pool), usage_(usage), videoBytes_(videoBytes), registered_(registered)
{
    if (registered_ && device_) device_->Adopt(this);
}

void Resource::SyncToCpu()
{
    if (device_) device_->SyncToCpu(this);
}

void Resource::BytesGoing()
{
    if (device_) device_->RetireBytes(this);
}

void Resource::GenerateMipsOnGpu()
{
    if (device_) device_->GenerateMips(this);
}

Resource::~Resource()
{
    if (registered_ && device_) device_->Forget(this);
    if (videoBytes_ != 0) FreeVideoMemory(videoBytes_);
}

} // namespace gfx
