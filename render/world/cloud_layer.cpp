#include "render/world/cloud_layer.h"

void SetCloudCover(CloudLayer& layer, float cover)
{
    float clamped = cover;
    if (clamped > 1.0f)
        clamped = 1.0f;
    else if (!(clamped >= 0.0f)) // below 0, or no number
        clamped = 0.0f;
    layer.cover = clamped;
    const uint32_t shown = static_cast<uint32_t>(static_cast<float>(layer.count) * layer.cover);
    if (layer.count == 0 || !layer.records)
        return;
    for (uint32_t i = 0; i < layer.count; ++i)
        layer.records[i].colour = i < shown ? float4{1.0f, 1.0f, 1.0f, 1.0f} : float4{};
}

void SetCloudBottomHeight(CloudLayer& layer, float height)
{
    for (uint32_t i = 0; i < layer.count; ++i) {
        if (layer.nodes) {
            MeshNode& node = layer.nodes[i];
            const float4& at = node.transform.position;
            node.SetPosition(float4{at.x, height, at.z, 1.0f});
        }
        if (layer.records) {
            layer.records[i].heightSplat = Splat(height);
            layer.records[i].height = height;
        }
    }
    if (layer.material)
        layer.material->payload.SetFloat("cumulusBottomHeight", height - 3.0f, "");
}
