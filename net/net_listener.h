#pragma once
// NetListener: what the network server offers each request to. A listener
// recognises its requests by their first 8 bytes (a header read from section
// net of the settings) and posts their record as a task to RENDERTHREAD. One
// that accepts a request supplies the reply the server sends.
//
// Also the pieces every listener shares: the 8-byte header and the posting of
// one task in a batch of its own.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zmq {
class message_t;
}

class NetThread;
struct TaskMessage;

// Bytes 0-7 of a request.
inline constexpr size_t kRequestHeaderSize = 8;

// A header taken from the first 8 bytes of a setting's text. A setting shorter
// than 8 characters (an absent key included) gives no header: it matches
// nothing.
struct RequestHeader {
    std::array<uint8_t, kRequestHeaderSize> bytes{};
    bool valid = false;

    static RequestHeader FromText(std::string_view text);
    static RequestHeader FromSetting(const std::string& key); // section net
    // True when the request holds 8 bytes equal to the header.
    bool Matches(const uint8_t* request, size_t size) const;
};

class NetListener {
public:
    // Registers itself with `server` (the NetThread when none is given).
    explicit NetListener(NetThread* server = nullptr);
    // Leaves the server (see Leave).
    virtual ~NetListener();
    NetListener(const NetListener&) = delete;
    NetListener& operator=(const NetListener&) = delete;

    // Called on NETTHREAD with the request's bytes and length; true asks the
    // server to send replyMessage.
    virtual bool OnRequest(const uint8_t* request, size_t size);

    zmq::message_t* ReplyMessage() const { return replyMessage.get(); }

    // Takes the listener out of its server, so it is offered no more requests,
    // and returns once the server is done with it. A request it is still
    // handling gives up its wait for a place: nothing of it is posted and the
    // server offers it to the listeners after this one. A derived listener
    // leaves first thing in its destructor, before its own parts go; leaving
    // twice is harmless.
    void Leave();

protected:
    NetThread* Server() const { return server_; }
    // Takes a place among the waiting network tasks, waiting for one as long as
    // the server runs and the listener stays. False when the server is told to
    // stop first (the request is then left unanswered: nothing of it was
    // posted, so no peer is told it was taken), or when the listener leaves.
    bool ReservePlace();
    // Posts with the place ReservePlace took.
    bool PostReserved(TaskMessage& task, std::string_view tag);

    std::unique_ptr<zmq::message_t> replyMessage;
    uint8_t replySize = 0;
    uint8_t headersRead = 0;

private:
    NetThread* server_;
    std::atomic<bool> leaving_{false};
};

// Network tasks posted and not yet run. At kMaxPendingNetTasks the link waits
// for RENDERTHREAD to run one before it posts (and answers) the next request,
// so a flood of requests can neither exhaust the task ring that the rest of
// the engine posts into nor raise its overflow box on the network thread, and
// no request is answered without its task. The wait ends when the server is
// told to stop; a request still waiting then is not answered.
inline constexpr uint32_t kMaxPendingNetTasks = 64;
uint32_t PendingNetTasks();
// Forgets the waiting tasks and their stored records: for when the queues are
// reset and they never run.
void ResetPendingNetTasks();

// A place for one more network task. Waits while kMaxPendingNetTasks wait or
// RENDERTHREAD is not registered yet, until `stop` or `leaving` is set (false:
// no place taken). With no stop flag it does not wait: false when there is no
// place now. A wait that lasts is reported once on standard output.
bool ReserveNetTask(const std::atomic<bool>* stop, const std::atomic<bool>* leaving = nullptr);
// Gives back a place that was not used.
void ReleaseNetTask();
// Rouses the waits of ReserveNetTask so they see a flag just set.
void WakeNetTaskWaiters();
// How long a wait for a place lasts before it is reported.
inline constexpr int kNetTaskWaitReportMs = 5000;

// Posts `task` (id and payload filled) in a batch of its own to RENDERTHREAD
// with the given tag, using a place ReserveNetTask took; the place is given
// back when the task cannot be posted (false).
bool PostReservedToRenderThread(TaskMessage& task, std::string_view tag);
// ReserveNetTask(stop), then PostReservedToRenderThread.
bool PostToRenderThread(TaskMessage& task, std::string_view tag, const std::atomic<bool>* stop = nullptr);
