#pragma once
// The rotation of three angles in degrees about x, y and z: the z turn applies
// first, then x, then y (qY x qX x qZ). Every place that orients a node from
// angles (transforms, the remote scene) uses this one formula.
#include "kernel/math/quat.h"

quat QuatFromEulerDegrees(float x, float y, float z);
