#include "net/request_listeners.h"

#include <zmq.hpp>

#include "net/net_thread.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "platform/bytes/byte_reader.h"

namespace {

// The request holds the header and the whole record that follows it.
bool HoldsRecord(size_t size, size_t recordSize)
{
    return size >= kRequestHeaderSize + recordSize;
}

} // namespace

bool MeteoListener::OnRequest(const uint8_t* request, size_t size)
{
    if (!headersRead) {
        meteoHeader_ = RequestHeader::FromSetting("meteoHeader");
        headersRead = 1;
    }
    if (meteoHeader_.Matches(request, size) && HoldsRecord(size, kWeatherRecordSize)) {
        if (!ReservePlace())
            return false;
        TaskMessage task = MakeWeatherTask(request + kRequestHeaderSize);
        PostReserved(task, "nw");
    }
    return false;
}

void ParaListener::ReadHeaders()
{
    replyMessage = std::make_unique<zmq::message_t>(kParaReplySize);
    replySize = static_cast<uint8_t>(kParaReplySize);
    paraHeader_ = RequestHeader::FromSetting("paraHeader");
    preallocHeader_ = RequestHeader::FromSetting("preallocHeader");
    targetHeader_ = RequestHeader::FromSetting("targetHeader");
    headersRead = 1;
}

bool ParaListener::OnRequest(const uint8_t* request, size_t size)
{
    if (!headersRead)
        ReadHeaders();
    // Too short for any header: nothing to compare.
    if (!request || size < kRequestHeaderSize)
        return false;
    const uint8_t* record = request + kRequestHeaderSize;
    if (paraHeader_.Matches(request, size)) {
        if (!HoldsRecord(size, kSetParaRecordSize))
            return false;
        // The answer is the block as it stands before the task can run, so it
        // is read before the task is posted.
        const ParaReply reply = ReadParaReply();
        if (!ReservePlace())
            return false;
        TaskMessage task = MakeSetParaTask(record);
        PostReserved(task, "np");
        replyMessage->rebuild(reply.bytes.data(), replySize);
        return true;
    }
    if (preallocHeader_.Matches(request, size)) {
        if (HoldsRecord(size, kPreallocRecordSize)) {
            if (!ReservePlace())
                return false;
            TaskMessage task = MakePreallocTask(platform::ByteReader(record, kPreallocRecordSize).U16());
            PostReserved(task, "na");
        }
        return false;
    }
    if (targetHeader_.Matches(request, size)) {
        if (HoldsRecord(size, kParaTargetRecordSize)) {
            // The place is taken first: it keeps a slot of the record store free.
            if (!ReservePlace())
                return false;
            TaskMessage task = MakeTargetTask(record);
            PostReserved(task, "nt");
        }
        return false;
    }
    return false;
}
