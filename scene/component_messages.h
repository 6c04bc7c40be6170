#pragma once
// The ids of the entity messages: the RSHash of each upper-case name, made
// once and compared as integers afterwards.
#include <cstdint>

#include "kernel/rs_hash.h"

// Messages the components of the engine send and handle.
inline const uint32_t IMSG_SOMEONE_ATTACHED = RSHash("IMSG_SOMEONE_ATTACHED");
inline const uint32_t IMSG_ME_ATTACHED = RSHash("IMSG_ME_ATTACHED");
inline const uint32_t IMSG_SOMEONE_DETACHED = RSHash("IMSG_SOMEONE_DETACHED");
inline const uint32_t IMSG_ME_DETACHED = RSHash("IMSG_ME_DETACHED");
inline const uint32_t IMSG_GIVE_SCENENODE = RSHash("IMSG_GIVE_SCENENODE");
inline const uint32_t IMSG_SUPPLY_SCENENODE = RSHash("IMSG_SUPPLY_SCENENODE");
inline const uint32_t IMSG_GIVE_WORLDMATRIX = RSHash("IMSG_GIVE_WORLDMATRIX");
inline const uint32_t IMSG_SUPPLY_WORLDMATRIX = RSHash("IMSG_SUPPLY_WORLDMATRIX");
inline const uint32_t IMSG_GIVE_SCRIPT = RSHash("IMSG_GIVE_SCRIPT");
inline const uint32_t IMSG_SUPPLY_SCRIPT = RSHash("IMSG_SUPPLY_SCRIPT");
inline const uint32_t IMSG_GIVE_PHYSBODY = RSHash("IMSG_GIVE_PHYSBODY");
inline const uint32_t IMSG_SUPPLY_PHYSBODY = RSHash("IMSG_SUPPLY_PHYSBODY");
inline const uint32_t IMSG_ACTION_FWD = RSHash("IMSG_ACTION_FWD");
inline const uint32_t IMSG_ACTION_BWD = RSHash("IMSG_ACTION_BWD");
inline const uint32_t IMSG_ACTION_LEFT = RSHash("IMSG_ACTION_LEFT");
inline const uint32_t IMSG_ACTION_RIGHT = RSHash("IMSG_ACTION_RIGHT");

// The rest of the message vocabulary.
inline const uint32_t IMSG_ACTION_UP = RSHash("IMSG_ACTION_UP");
inline const uint32_t IMSG_ACTION_DOWN = RSHash("IMSG_ACTION_DOWN");
inline const uint32_t IMSG_ACTION_UPLEFT = RSHash("IMSG_ACTION_UPLEFT");
inline const uint32_t IMSG_ACTION_UPRIGHT = RSHash("IMSG_ACTION_UPRIGHT");
inline const uint32_t IMSG_ACTION_DOWNLEFT = RSHash("IMSG_ACTION_DOWNLEFT");
inline const uint32_t IMSG_ACTION_DOWNRIGHT = RSHash("IMSG_ACTION_DOWNRIGHT");
inline const uint32_t IMSG_ACTION_TURNLEFT = RSHash("IMSG_ACTION_TURNLEFT");
inline const uint32_t IMSG_ACTION_TURNRIGHT = RSHash("IMSG_ACTION_TURNRIGHT");
inline const uint32_t IMSG_ACTION_MOVEDIR = RSHash("IMSG_ACTION_MOVEDIR");
inline const uint32_t IMSG_ACTION_SETDIR = RSHash("IMSG_ACTION_SETDIR");
inline const uint32_t IMSG_ACTION_PLACEMENT = RSHash("IMSG_ACTION_PLACEMENT");
inline const uint32_t IMSG_GIVE_CONTROLLABLE = RSHash("IMSG_GIVE_CONTROLLABLE");
inline const uint32_t IMSG_SUPPLY_CONTROLLABLE = RSHash("IMSG_SUPPLY_CONTROLLABLE");
inline const uint32_t IMSG_GIVE_CONTROLLER = RSHash("IMSG_GIVE_CONTROLLER");
inline const uint32_t IMSG_SUPPLY_CONTROLLER = RSHash("IMSG_SUPPLY_CONTROLLER");
inline const uint32_t IMSG_GIVE_ACTOR = RSHash("IMSG_GIVE_ACTOR");
inline const uint32_t IMSG_SUPPLY_ACTOR = RSHash("IMSG_SUPPLY_ACTOR");
inline const uint32_t IMSG_GIVE_SPLINE = RSHash("IMSG_GIVE_SPLINE");
inline const uint32_t IMSG_SUPPLY_SPLINE = RSHash("IMSG_SUPPLY_SPLINE");
inline const uint32_t IMSG_GIVE_AI = RSHash("IMSG_GIVE_AI");
inline const uint32_t IMSG_SUPPLY_AI = RSHash("IMSG_SUPPLY_AI");
inline const uint32_t IMSG_SUPPLY_AISENSOR = RSHash("IMSG_SUPPLY_AISENSOR");
inline const uint32_t IMSG_AITASK = RSHash("IMSG_AITASK");
inline const uint32_t IMSG_CONDITION_ACTORS = RSHash("IMSG_CONDITION_ACTORS");
inline const uint32_t IMSG_CONDITION_ROAD = RSHash("IMSG_CONDITION_ROAD");
inline const uint32_t IMSG_CONDITION_TOOCLOSE = RSHash("IMSG_CONDITION_TOOCLOSE");
inline const uint32_t IMSG_GIVE_HELICOPTER = RSHash("IMSG_GIVE_HELICOPTER");
inline const uint32_t IMSG_SUPPLY_HELICOPTER = RSHash("IMSG_SUPPLY_HELICOPTER");
inline const uint32_t IMSG_GIVE_HELIYAWPOWER = RSHash("IMSG_GIVE_HELIYAWPOWER");
inline const uint32_t IMSG_SUPPLY_HELIYAWPOWER = RSHash("IMSG_SUPPLY_HELIYAWPOWER");
inline const uint32_t IMSG_GIVE_HELIYAWVELOCITY = RSHash("IMSG_GIVE_HELIYAWVELOCITY");
inline const uint32_t IMSG_SUPPLY_HELIYAWVELOCITY = RSHash("IMSG_SUPPLY_HELIYAWVELOCITY");
inline const uint32_t IMSG_GIVE_TAILROTOR = RSHash("IMSG_GIVE_TAILROTOR");
inline const uint32_t IMSG_SUPPLY_TAILROTOR = RSHash("IMSG_SUPPLY_TAILROTOR");
inline const uint32_t IMSG_GIVE_MAINROTOR = RSHash("IMSG_GIVE_MAINROTOR");
inline const uint32_t IMSG_SUPPLY_MAINROTOR = RSHash("IMSG_SUPPLY_MAINROTOR");

// State and control-mode ids.
inline const uint32_t AI_STATE_OFF = RSHash("AI_STATE_OFF");
inline const uint32_t AI_STATE_DRIVE = RSHash("AI_STATE_DRIVE");
inline const uint32_t AI_STATE_FOLLOWSPLINE = RSHash("AI_STATE_FOLLOWSPLINE");
inline const uint32_t AI_STATE_WAIT = RSHash("AI_STATE_WAIT");
inline const uint32_t CONTROL_AI = RSHash("CONTROL_AI");
inline const uint32_t CONTROL_TRAFFICCARAI = RSHash("CONTROL_TRAFFICCARAI");
inline const uint32_t CONTROL_HELICONTROLS = RSHash("CONTROL_HELICONTROLS");
