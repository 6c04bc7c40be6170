#pragma once
// The rotation matrix of a quaternion for row vectors: v x RotationMatrix(q)
// equals q v q*. The quaternion is not normalised first, so one of length L
// scales the rotation part and element [3][3] by L squared.
#include "kernel/math/float4x4.h"
#include "kernel/math/quat.h"

float4x4 RotationMatrix(const quat& q);
