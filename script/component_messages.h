#pragma once
// The ids of the entity messages: the RSHash of each upper-case name, made
// at compile time and compared as integers afterwards.
#include <cstdint>

#include "kernel/rs_hash.h"

// Messages the components of the engine send and handle.
inline constexpr uint32_t IMSG_SOMEONE_ATTACHED = RSHashConst("IMSG_SOMEONE_ATTACHED");
inline constexpr uint32_t IMSG_ME_ATTACHED = RSHashConst("IMSG_ME_ATTACHED");
inline constexpr uint32_t IMSG_SOMEONE_DETACHED = RSHashConst("IMSG_SOMEONE_DETACHED");
inline constexpr uint32_t IMSG_ME_DETACHED = RSHashConst("IMSG_ME_DETACHED");
inline constexpr uint32_t IMSG_GIVE_SCENENODE = RSHashConst("IMSG_GIVE_SCENENODE");
inline constexpr uint32_t IMSG_SUPPLY_SCENENODE = RSHashConst("IMSG_SUPPLY_SCENENODE");
inline constexpr uint32_t IMSG_GIVE_WORLDMATRIX = RSHashConst("IMSG_GIVE_WORLDMATRIX");
inline constexpr uint32_t IMSG_SUPPLY_WORLDMATRIX = RSHashConst("IMSG_SUPPLY_WORLDMATRIX");
inline constexpr uint32_t IMSG_GIVE_SCRIPT = RSHashConst("IMSG_GIVE_SCRIPT");
inline constexpr uint32_t IMSG_SUPPLY_SCRIPT = RSHashConst("IMSG_SUPPLY_SCRIPT");
inline constexpr uint32_t IMSG_GIVE_PHYSBODY = RSHashConst("IMSG_GIVE_PHYSBODY");
inline constexpr uint32_t IMSG_SUPPLY_PHYSBODY = RSHashConst("IMSG_SUPPLY_PHYSBODY");
inline constexpr uint32_t IMSG_ACTION_FWD = RSHashConst("IMSG_ACTION_FWD");
inline constexpr uint32_t IMSG_ACTION_BWD = RSHashConst("IMSG_ACTION_BWD");
inline constexpr uint32_t IMSG_ACTION_LEFT = RSHashConst("IMSG_ACTION_LEFT");
inline constexpr uint32_t IMSG_ACTION_RIGHT = RSHashConst("IMSG_ACTION_RIGHT");

// The rest of the message vocabulary.
inline constexpr uint32_t IMSG_ACTION_UP = RSHashConst("IMSG_ACTION_UP");
inline constexpr uint32_t IMSG_ACTION_DOWN = RSHashConst("IMSG_ACTION_DOWN");
inline constexpr uint32_t IMSG_ACTION_UPLEFT = RSHashConst("IMSG_ACTION_UPLEFT");
inline constexpr uint32_t IMSG_ACTION_UPRIGHT = RSHashConst("IMSG_ACTION_UPRIGHT");
inline constexpr uint32_t IMSG_ACTION_DOWNLEFT = RSHashConst("IMSG_ACTION_DOWNLEFT");
inline constexpr uint32_t IMSG_ACTION_DOWNRIGHT = RSHashConst("IMSG_ACTION_DOWNRIGHT");
inline constexpr uint32_t IMSG_ACTION_TURNLEFT = RSHashConst("IMSG_ACTION_TURNLEFT");
inline constexpr uint32_t IMSG_ACTION_TURNRIGHT = RSHashConst("IMSG_ACTION_TURNRIGHT");
inline constexpr uint32_t IMSG_ACTION_MOVEDIR = RSHashConst("IMSG_ACTION_MOVEDIR");
inline constexpr uint32_t IMSG_ACTION_SETDIR = RSHashConst("IMSG_ACTION_SETDIR");
inline constexpr uint32_t IMSG_ACTION_PLACEMENT = RSHashConst("IMSG_ACTION_PLACEMENT");
inline constexpr uint32_t IMSG_GIVE_CONTROLLABLE = RSHashConst("IMSG_GIVE_CONTROLLABLE");
inline constexpr uint32_t IMSG_SUPPLY_CONTROLLABLE = RSHashConst("IMSG_SUPPLY_CONTROLLABLE");
inline constexpr uint32_t IMSG_GIVE_CONTROLLER = RSHashConst("IMSG_GIVE_CONTROLLER");
inline constexpr uint32_t IMSG_SUPPLY_CONTROLLER = RSHashConst("IMSG_SUPPLY_CONTROLLER");
inline constexpr uint32_t IMSG_GIVE_ACTOR = RSHashConst("IMSG_GIVE_ACTOR");
inline constexpr uint32_t IMSG_SUPPLY_ACTOR = RSHashConst("IMSG_SUPPLY_ACTOR");
inline constexpr uint32_t IMSG_GIVE_SPLINE = RSHashConst("IMSG_GIVE_SPLINE");
inline constexpr uint32_t IMSG_SUPPLY_SPLINE = RSHashConst("IMSG_SUPPLY_SPLINE");
inline constexpr uint32_t IMSG_GIVE_AI = RSHashConst("IMSG_GIVE_AI");
inline constexpr uint32_t IMSG_SUPPLY_AI = RSHashConst("IMSG_SUPPLY_AI");
inline constexpr uint32_t IMSG_SUPPLY_AISENSOR = RSHashConst("IMSG_SUPPLY_AISENSOR");
inline constexpr uint32_t IMSG_AITASK = RSHashConst("IMSG_AITASK");
inline constexpr uint32_t IMSG_CONDITION_ACTORS = RSHashConst("IMSG_CONDITION_ACTORS");
inline constexpr uint32_t IMSG_CONDITION_ROAD = RSHashConst("IMSG_CONDITION_ROAD");
inline constexpr uint32_t IMSG_CONDITION_TOOCLOSE = RSHashConst("IMSG_CONDITION_TOOCLOSE");
inline constexpr uint32_t IMSG_GIVE_HELICOPTER = RSHashConst("IMSG_GIVE_HELICOPTER");
inline constexpr uint32_t IMSG_SUPPLY_HELICOPTER = RSHashConst("IMSG_SUPPLY_HELICOPTER");
inline constexpr uint32_t IMSG_GIVE_HELIYAWPOWER = RSHashConst("IMSG_GIVE_HELIYAWPOWER");
inline constexpr uint32_t IMSG_SUPPLY_HELIYAWPOWER = RSHashConst("IMSG_SUPPLY_HELIYAWPOWER");
inline constexpr uint32_t IMSG_GIVE_HELIYAWVELOCITY = RSHashConst("IMSG_GIVE_HELIYAWVELOCITY");
inline constexpr uint32_t IMSG_SUPPLY_HELIYAWVELOCITY = RSHashConst("IMSG_SUPPLY_HELIYAWVELOCITY");
inline constexpr uint32_t IMSG_GIVE_TAILROTOR = RSHashConst("IMSG_GIVE_TAILROTOR");
inline constexpr uint32_t IMSG_SUPPLY_TAILROTOR = RSHashConst("IMSG_SUPPLY_TAILROTOR");
inline constexpr uint32_t IMSG_GIVE_MAINROTOR = RSHashConst("IMSG_GIVE_MAINROTOR");
inline constexpr uint32_t IMSG_SUPPLY_MAINROTOR = RSHashConst("IMSG_SUPPLY_MAINROTOR");

// State and control-mode ids.
inline constexpr uint32_t AI_STATE_OFF = RSHashConst("AI_STATE_OFF");
inline constexpr uint32_t AI_STATE_DRIVE = RSHashConst("AI_STATE_DRIVE");
inline constexpr uint32_t AI_STATE_FOLLOWSPLINE = RSHashConst("AI_STATE_FOLLOWSPLINE");
inline constexpr uint32_t AI_STATE_WAIT = RSHashConst("AI_STATE_WAIT");
inline constexpr uint32_t CONTROL_AI = RSHashConst("CONTROL_AI");
inline constexpr uint32_t CONTROL_TRAFFICCARAI = RSHashConst("CONTROL_TRAFFICCARAI");
inline constexpr uint32_t CONTROL_HELICONTROLS = RSHashConst("CONTROL_HELICONTROLS");
