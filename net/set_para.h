#pragma once
// The para state request: its 81-byte record (little-endian, packed) decoded,
// checked and applied to the RemoteScene by the setPara task handler, which
// also rewrites the ParaReply block and moves the scene between its modes.
//
// Record: byte 5 the requested mode (0, 1 or 2); bytes 7 and 8 two levels
// (value / 255 x 5); at 9, 13, 17 the first pose (outside units) and at 21,
// 25, 29 its yaw, pitch and roll (degrees); at 33-53 the second pose and
// orientation laid out alike; at 69, 73, 77 a third yaw, pitch and roll. The
// other bytes are not read.
#include <cstdint>
#include <string>

#include "kernel/math/float3.h"

struct RemoteScene;
struct TaskMessage;

// Heights go out in outside units.
inline constexpr float kSceneToOutside = 781.25f;

// Angles in degrees, in record order.
struct ParaOrientation {
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
};

struct SetParaValues {
    uint8_t mode = 0;
    float level1 = 0.0f; // 0..5
    float level2 = 0.0f;
    float3 firstPose;    // scene units
    ParaOrientation firstOrientation;
    float3 secondPose;   // scene units
    ParaOrientation secondOrientation;
    ParaOrientation thirdOrientation;
};

// `record` holds the 81 record bytes; positions come out in scene units.
SetParaValues DecodeSetPara(const uint8_t* record);
// Why the record cannot be applied (a pose or an angle that is not a finite
// number), or empty when it can.
std::string CheckSetParaRecord(const uint8_t* record);

// The ParaReply flags of a scene: bit 0 its status, then one bit for mode 0,
// 1 or 2.
uint8_t ParaReplyFlags(uint8_t statusFlag, uint8_t mode);

// The setPara handler: nothing while there is no RemoteScene; a record that
// cannot be applied is refused with a line on standard output and changes
// nothing; otherwise ApplySetPara.
void SetParaHandler(TaskMessage* task);
// Levels, the probe (outside mode 1), the para node, the attitude node (in
// mode 2, and in mode 1 while the timer runs), the ParaReply block under the
// mode in force, then the mode change.
void ApplySetPara(RemoteScene& scene, const SetParaValues& values);
