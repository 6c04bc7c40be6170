#pragma once
// A camera's projections, left-handed, looking along +z (+y up, +x right): a
// perspective one, or an orthographic one in either of two forms; and a point
// in clip space carried to viewport coordinates. Pure maths: the viewport's
// size is given, never read from a device.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

// The bounding radius that once selected another perspective path; both give
// the same matrix, so a camera marked with it projects like any other.
inline constexpr float kAlternatePerspectiveRadius = 12345.0f;

// Perspective: fov is the vertical angle (radians), aspect width / height.
// Orthographic: fov is world units per pixel of a width x height viewport; the
// second form keeps w at 1 and moves the depth offset into the third column.
float4x4 CameraProjection(float fov, float aspect, float nearClip, float farClip, bool orthographic,
                          bool secondProjection, uint16_t width, uint16_t height);

// A clip-space point to viewport coordinates: x from 0 (left) to 1 (right), y
// from 0 (top) to 1 (bottom), or pixels of a width x height viewport when not
// normalized. With cull, a point behind the camera gives four times -1000000.
float4 ClipToViewport(const float4& clip, bool cull, bool normalized, uint32_t width, uint32_t height);
