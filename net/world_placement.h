#pragma once
// Placing a scene node in world space whatever its parent: the world position
// or rotation given becomes the local value that yields it under the parent's
// current world matrix or rotation. The node's change flags are raised as the
// local setters raise them.
#include "kernel/math/float3.h"
#include "kernel/math/quat.h"

class SceneNode;

// The local position becomes (x, y, z, 1) times the inverse of the parent's
// world matrix, or (x, y, z, 1) without a parent. A parent whose world matrix
// has no inverse leaves the node where it is (false).
bool SetWorldPosition(SceneNode& node, const float3& position);
// The local rotation becomes the inverse of the parent's world rotation times
// q, or q without a parent. A parent whose world rotation is zero leaves the
// node as it is (false).
bool SetWorldRotation(SceneNode& node, const quat& q);
