#pragma once
// The tasks of the network link: their ids, the records their payloads carry
// (little-endian and packed, copied byte for byte from the request, whose byte
// 8 + k is payload byte k), and how the listeners build them.
//
// The targets record (3456 bytes) is larger than a task payload: it waits in the
// target record store and the task carries its ticket, in its payload for the
// handler and in its callback words so the slot is freed once the task has run.
#include <array>
#include <cstddef>
#include <cstdint>

#include "kernel/rs_hash.h"
#include "kernel/task_message.h"

inline constexpr uint32_t kSetWeatherId = RSHashConst("setWeather");
inline constexpr uint32_t kSetParaId = RSHashConst("setPara");
inline constexpr uint32_t kParaPreallocId = RSHashConst("paraPrealloc");
inline constexpr uint32_t kParaTargetId = RSHashConst("paraTarget");
inline constexpr uint32_t kReplyParaId = RSHashConst("replyPara");

inline constexpr size_t kWeatherRecordSize = 49;
inline constexpr size_t kSetParaRecordSize = 81;
inline constexpr size_t kPreallocRecordSize = 2;
inline constexpr size_t kParaTargetEntrySize = 27;
inline constexpr size_t kParaTargetEntries = 128;
inline constexpr size_t kParaTargetRecordSize = kParaTargetEntrySize * kParaTargetEntries; // 3456

using WeatherRecordBytes = std::array<uint8_t, kWeatherRecordSize>;
using SetParaRecordBytes = std::array<uint8_t, kSetParaRecordSize>;
using ParaTargetRecordBytes = std::array<uint8_t, kParaTargetRecordSize>;

// Where a stored targets record waits; a ticket whose slot has been reused since
// finds nothing.
struct TargetRecordTicket {
    uint32_t slot = 0;
    uint32_t generation = 0;
};

struct SetWeatherArgs {
    using Record = PayloadField<WeatherRecordBytes, 0>;
};
struct SetParaArgs {
    using Record = PayloadField<SetParaRecordBytes, 0>;
};
struct ParaPreallocArgs {
    using Count = PayloadField<uint16_t, 0>;
};
struct ParaTargetArgs {
    using Ticket = PayloadField<TargetRecordTicket, 0>;
};
struct ReplyParaArgs {
    using Record = PayloadField<std::array<uint8_t, 13>, 0>;
};

// Each builds a new task record with the task's id and its payload. The record
// pointers address the request's bytes 8 onwards, at least the record's size.
TaskMessage MakeWeatherTask(const uint8_t* record);
TaskMessage MakeSetParaTask(const uint8_t* record);
TaskMessage MakePreallocTask(uint16_t count);
// Stores the record; the task carries its ticket (a ticket that finds
// nothing when the store has no free slot). Called with a place among the
// waiting network tasks taken, which keeps a slot free for it.
TaskMessage MakeTargetTask(const uint8_t* record);

// The first callback word of a task whose record waits in the target record
// store; the other two words are the ticket's slot and generation.
inline constexpr uintptr_t kTargetRecordCallbackMark = 0x7A726563u;

// Targets records waiting for their task: one slot for each network task that
// may wait (kMaxPendingNetTasks), so a record is never written over while its
// task waits. A record put while every slot is full is not kept: its ticket
// finds nothing.
class TargetRecordStore {
public:
    static constexpr uint32_t kSlots = 64;

    TargetRecordTicket Put(const uint8_t* record);
    // Copies the record of the ticket into `out` and frees its slot; false when
    // the slot does not hold it.
    bool Take(TargetRecordTicket ticket, ParaTargetRecordBytes& out);
    // Frees the ticket's slot if it still holds that record.
    void Free(TargetRecordTicket ticket);
    uint32_t UsedSlots() const;
    // Frees every slot.
    void Clear();
};

TargetRecordStore& GetTargetRecordStore();
