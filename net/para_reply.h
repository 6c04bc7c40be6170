#pragma once
// The ParaReply block: the one process-wide 13-byte state record that answers
// a para state request ("PARAREPL", u8 flags, f32 value, little-endian and
// packed). It is written on the thread that runs the setPara and replyPara
// tasks and copied on NETTHREAD; both happen as one unit under a lock, so an
// answer never mixes two states.
#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr size_t kParaReplySize = 13;
inline constexpr char kParaReplyTag[] = "PARAREPL";

struct ParaReply {
    // A record holding the tag, flags 0 and value 0.0.
    ParaReply();

    std::array<uint8_t, kParaReplySize> bytes{};

    uint8_t Flags() const { return bytes[8]; }
    void SetFlags(uint8_t flags) { bytes[8] = flags; }
    float Value() const;
    void SetValue(float value);
};

// A copy of the block as it stands.
ParaReply ReadParaReply();
// Replaces the whole block.
void WriteParaReply(const ParaReply& record);
// Back to the start-up state: the tag, flags 0, value 0.0.
void ResetParaReply();
