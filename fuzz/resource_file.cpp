// Any bytes as a resource file, read through MemoryArchive into a handle whose
// fields use every archive operation: no read may pass the end of the bytes,
// and a damaged file must leave the handle empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kernel/archive.h"
#include "kernel/math/float3.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/resource_object.h"
#include "testing/message_box_script.h"

namespace {

struct ProbeData {
    HashedName128 name;
    std::string text;
    float4x4 matrix;
    float4 colour;
    float3 position;
    bool visible = false;
    uint8_t kind = 0;
    uint16_t count = 0;
    float weight = 0.0f;
    uint32_t flags = 0;
    uint8_t raw[64] = {};
    std::string extra;
};

class ProbeResource : public ResourceObject<ProbeResource, ProbeData, 1> {
public:
    ~ProbeResource() override { ReleaseResource(); }

    void Serialize(Archive& archive) override
    {
        ProbeData& data = *GetPayload();
        archive.Name(data.name);
        archive.String(data.text);
        archive.Matrix(data.matrix);
        archive.Float4(data.colour);
        archive.Float3(data.position);
        archive.Bool(data.visible);
        archive.U8(data.kind);
        archive.U16(data.count);
        archive.Float(data.weight);
        archive.U32(data.flags);
        // A count from the file, bounded by the room it reads into.
        archive.Bytes(data.raw, data.kind % (sizeof(data.raw) + 1));
        // Fields present only in later versions, as types do.
        if (formatVersion >= 2)
            archive.String(data.extra);
    }

    bool DoUnload() override { return true; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::testing::ScriptedMessageBoxes boxes;
    {
        ProbeResource probe;
        const bool loaded = probe.LoadFromMemory(data, static_cast<uint32_t>(size), "fuzz.res");
        if (!loaded && probe.IsValid())
            std::abort(); // a damaged file must leave no block behind
        if (loaded && (!probe.IsValid() || probe.GetState() != resource_state::kLoaded))
            std::abort();
    }
    // The name the bytes gave is gone with the handle: so is its entry, and the
    // run leaves nothing behind that the fuzzer would take for a leak.
    ProbeResource::ForgetClearedIds();
    return 0;
}
