#pragma once
// Left-handed projections for row vectors: the viewer looks along +z with +y up
// and +x right, and depth runs from 0 at the near plane to 1 at the far plane
// (after the divide by w for the perspective).
#include "kernel/math/float4x4.h"

// fovY: vertical field of view in radians; aspect: width / height.
float4x4 PerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);

// width and height: the extent of the view volume in view-space units.
float4x4 OrthographicLH(float width, float height, float zNear, float zFar);
