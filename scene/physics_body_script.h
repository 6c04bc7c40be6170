#pragma once
// The script functions over physics bodies: a script asks its owner for its
// body ("int GetBody()") and reads or pushes it through the handle it got back.
// Values cross the physics world's scale on the way in and out. Handles are
// checked: an unknown or stale one is reported and answered with zeros
// (getters) or ignored (the rest).
//
//   int GetBody()                                float GetBodyMass(int)
//   void ApplyTorque(int,float,float,float)      void ApplyLinearForce(int,float3,float3)
//   float3 GetBodyLinearVelocity(int)            void ApplyLocalLinearForce(int,float3,float3)
//   float3 GetBodyLocalLinearVelocity(int)       void ApplyImpulse(int,float3,float3)
//   float3 GetBodyAngularVelocity(int)           void SetAngularVelocity(int,float3)
//   float3 GetBodyLocalAngularVelocity(int)      float3 GetBodyArea(int)
#include "script/script_binding.h"

// The binding that asks the script's owner for its physics body.
ScriptBinding& GetPhysBodyScriptBinding();
