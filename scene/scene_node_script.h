#pragma once
// The script functions over scene nodes: a script asks its owner for its node
// ("int GetNode()") and reads or moves it through the handle it got back.
// Handles are checked: an unknown or stale one is reported and answered with
// zeros (getters) or ignored (setters).
//
//   int GetNode()                  float3 GetNodeDir(int)    float3 GetNodeRight(int)
//   float3 GetNodePos(int)         quat GetNodeRot(int)
//   void SetNodePos(int,float3)    void SetNodeRot(int,quat)
#include "script/script_binding.h"

// The binding that asks the script's owner for its scene node.
ScriptBinding& GetSceneNodeScriptBinding();
