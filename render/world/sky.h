#pragma once
// Sky: the time of day of the remote scene's sky. UpdateSky turns the dome
// about +x by the time-of-day angle and places two celestial bodies on
// opposite sides of vertical circles in the y-z plane: a near body circling
// the active camera's ground point at radius 24, a far body circling the
// world origin at radius 470; both bodies get the dome's turn followed by a
// fixed turn about +y. It writes transforms only; nothing here draws. Render
// thread.
#include "kernel/math/float4.h"
#include "scene/scene_node.h"
#include "scene/transform.h"

inline constexpr float kSkyNearBodyRadius = 24.0f;
inline constexpr float kSkyFarBodyRadius = 470.0f;

class alignas(16) Sky {
public:
    // Adds dt (radians of the angle, not seconds) to the angle behind
    // timeOfDay. The dome and the bodies turn by the angle before the
    // addition; the bodies are placed by the angle after it. The angle is
    // never wrapped. Without a time-of-day angle nothing happens; without an
    // active camera the near body circles the origin's ground point.
    void UpdateSky(float dt);

    float* timeOfDay = nullptr; // the owner's angle; not owned
    float4 nearBodyOffset;      // from the camera's ground point, w 1
    SceneNode domeNode;
    Transform nearBody;
    Transform farBody;
    float bodyYaw = 0.0f;       // the bodies' turn about +y, in half-turns
};
