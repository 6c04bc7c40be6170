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
    virtual ~NetListener();
    NetListener(const NetListener&) = delete;
    NetListener& operator=(const NetListener&) = delete;

    // Called on NETTHREAD with the request's bytes and length; true asks the
    // server to send replyMessage.
    virtual bool OnRequest(const uint8_t* request, size_t size);

    zmq::message_t* ReplyMessage() const { return replyMessage.get(); }

protected:
    std::unique_ptr<zmq::message_t> replyMessage;
    uint8_t replySize = 0;
    uint8_t headersRead = 0;

private:
    NetThread* server_;
};

// Network tasks posted and not yet run. Beyond kMaxPendingNetTasks a request is
// still answered but its task is not posted, so a flood of requests can neither
// exhaust the task ring that the rest of the engine posts into nor raise its
// overflow box on the network thread.
inline constexpr uint32_t kMaxPendingNetTasks = 64;
uint32_t PendingNetTasks();
// Forgets the waiting tasks: for when the queues are reset and they never run.
void ResetPendingNetTasks();

// Posts `task` (id and payload filled) in a batch of its own to RENDERTHREAD
// with the given tag. Dropped (false) while RENDERTHREAD is not registered or
// too many network tasks wait.
bool PostToRenderThread(TaskMessage& task, std::string_view tag);
