#pragma once
// The tasks of the network link: their ids, the records their payloads carry
// (little-endian and packed, copied byte for byte from the request, whose byte
// 8 + k is payload byte k), and how the listeners build them.
//
// The targets record (3456 bytes) is larger than a task payload: it waits in the
// target record store and the task carries its ticket.
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
// Stores the record; the task carries its ticket.
TaskMessage MakeTargetTask(const uint8_t* record);

// Targets records waiting for their task. A store of kSlots: a record put
// while every slot holds one replaces the oldest, whose task then finds nothing.
class TargetRecordStore {
public:
    static constexpr uint32_t kSlots = 8;

    TargetRecordTicket Put(const uint8_t* record);
    // Copies the record of the ticket into `out` and frees its slot; false when
    // the slot no longer holds it.
    bool Take(TargetRecordTicket ticket, ParaTargetRecordBytes& out);
    // Frees every slot.
    void Clear();
};

TargetRecordStore& GetTargetRecordStore();
