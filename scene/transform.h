#pragma once
// Transform: the local placement of one scene node (position, rotation, scale)
// with three cached local matrices rebuilt only when the value behind them has
// changed. Motion is scaled by the step of whichever clock is global at the
// moment of the call. Whoever writes position, rotation or scale directly must
// raise the matching change flags (the Set... and Mark... helpers do).
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/quat.h"
#include "kernel/serializable_object.h"

class Archive;

class alignas(16) Transform : public SerializableObject {
public:
    Transform();

    // Moves by move x the frame step: along the parent frame's axes (world) or
    // the node's own, taken from the rotation matrix as last refreshed.
    void Translate(const float4& move, bool world);

    // The rotation of three angles in degrees: z first, then x, then y.
    void SetRotationEuler(float x, float y, float z);

    // Each argument, when present, is an axis (x, y, z, not normalised) and a
    // rate in radians per second (w): local turns about the node's own axis,
    // world1 and then world2 about the parent frame's.
    void Rotate(const float4* local, const float4* world1, const float4* world2);

    // Position, rotation, scale as three Float4 values (48 bytes). Reading
    // leaves the change flags as they are.
    void Serialize(Archive& archive) override;
    void SerializeTransform(Archive& archive);

    // Rebuilds the flagged local matrices: scale, then rotation, then translation.
    void RefreshMatrices();
    // Only the rotation matrix, when flagged.
    void RefreshRotationMatrix();

    // scale x rotation x translation, recomposed from the parts that changed.
    const float4x4& GetLocalMatrix();

    // Store the value and raise its change flags.
    void SetPosition(const float4& value);
    void SetRotation(const quat& value);
    void SetScale(const float4& value);

    // Raise the flags for a value written directly.
    void MarkPositionChanged() { translationDirty = transformDirty = changed = 1; }
    void MarkRotationChanged() { rotationDirty = transformDirty = changed = 1; }
    void MarkScaleChanged() { scaleDirty = transformDirty = changed = 1; }

    float4x4 translationMatrix;
    float4x4 rotationMatrix;
    float4x4 scaleMatrix;
    float4 position = {0.0f, 0.0f, 0.0f, 1.0f};
    quat rotation;                     // never renormalised
    float4 scale = {1.0f, 1.0f, 1.0f, 1.0f}; // w is kept and stored but unused
    uint8_t translationDirty = 1;
    uint8_t rotationDirty = 1;
    uint8_t scaleDirty = 1;
    uint8_t transformDirty = 1; // any of the three changed since the local matrix was composed
    uint8_t changed = 1;        // cleared with transformDirty
    float4x4 localMatrix;
};
