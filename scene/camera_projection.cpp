#include "scene/camera_projection.h"

#include "kernel/math/projection.h"

float4x4 CameraProjection(float fov, float aspect, float nearClip, float farClip, bool orthographic,
                          bool secondProjection, uint16_t width, uint16_t height)
{
    const float w = static_cast<float>(width) * fov;
    const float h = static_cast<float>(height) * fov;
    // The marked radius (kAlternatePerspectiveRadius) takes the same matrix.
    if (!orthographic)
        return PerspectiveFovLH(fov, aspect, nearClip, farClip);
    float4x4 projection = OrthographicLH(w, h, nearClip, farClip);
    if (secondProjection) {
        projection(2, 3) = -nearClip / (farClip - nearClip);
        projection(3, 2) = 0.0f;
    }
    return projection;
}

float4 ClipToViewport(const float4& clip, bool cull, bool normalized, uint32_t width, uint32_t height)
{
    if (cull && clip.z < 0.0f)
        return Splat(-1000000.0f);
    const float4 n{clip.x / clip.w, clip.y / clip.w, clip.z / clip.w, clip.w / clip.w};
    const float4 r{n.x * 0.5f + 0.5f, n.y * -0.5f + 0.5f, 0.5f, 0.5f};
    if (normalized)
        return r;
    return float4{r.x * static_cast<float>(width), r.y * static_cast<float>(height), 0.0f, 0.0f};
}
