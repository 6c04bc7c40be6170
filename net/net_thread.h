#pragma once
// NETTHREAD: the engine thread of the network link, a ZeroMQ reply server. Each
// cycle receives one request, offers it to the listeners in registration order
// and sends exactly one reply: the reply message of the first listener that
// accepts the request, otherwise "DUMMYMSG". Its wake sends a request of its own
// ("Hello") to the thread's endpoint so that a blocked receive returns; when
// the server is busy with a client instead, the wake does not wait for it to
// come round to "Hello" (see WakeNetThread).
//
// Peers see a reply (REP) socket: a REQ or DEALER peer's request, its envelope
// ended by an empty part, gets one reply under the same envelope, and a message
// without that empty part is dropped unanswered. The server keeps the envelope
// itself, on a ROUTER socket: the library's REP socket, given such a malformed
// message by a peer that has already gone, sends the reply to the next request
// nowhere.
//
// A request whose task could not be posted before the stop (the link waits for
// RENDERTHREAD while too many of its tasks wait, net/net_listener.h) is left
// unanswered: no peer is told a request was taken that never will be.
//
// The thread serves only after InitNetwork has bound its endpoint; until then
// its step sleeps while it has no task it could run, as an idle thread does.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/rs_hash.h"

namespace zmq {
class context_t;
class socket_t;
class message_t;
class error_t;
} // namespace zmq

class NetListener;

inline constexpr uint32_t kNetThreadId = RSHashConst("NETTHREAD");

// The default reply: 8 bytes, no terminator.
inline constexpr char kDefaultReply[] = "DUMMYMSG";
inline constexpr size_t kDefaultReplySize = 8;
// The wake request: 5 bytes, no terminator.
inline constexpr char kWakeRequest[] = "Hello";
inline constexpr size_t kWakeRequestSize = 5;
// A request larger than this is refused by the library (the peer is cut off),
// so no outside program can make the server hold unbounded memory. Every
// request the listeners know is far smaller.
inline constexpr int64_t kMaxRequestSize = 1 << 20;
// Envelope parts kept for the reply: the peer's routing id, the addresses of
// the proxies between (none for a REQ peer) and the empty part. A message with
// more is dropped unanswered.
inline constexpr size_t kMaxEnvelopeParts = 16;
// How long the wake waits to reach the server and for its answer: a stop
// never waits longer for the network link.
inline constexpr int kWakePatienceMs = 250;
// How often the waiting wake looks whether the server is still serving.
inline constexpr int kWakeSliceMs = 5;

// protocol + "://" + host + ":" + port; the server binds host "*".
std::string ServerEndpoint(std::string_view protocol, std::string_view port, std::string_view host = "*");
// protocol + "://localhost:" + port: where the wake finds the server.
std::string WakeEndpoint(std::string_view protocol, std::string_view port);

// True for the text of a port number, 1 to 65535 in decimal digits.
bool IsPortNumber(std::string_view port);
// Transports whose endpoint ends in a port number.
bool TakesPortNumber(std::string_view protocol);

class NetThread : public EngineThread {
public:
    NetThread();
    ~NetThread() override;

    // WakeNetThread.
    void wake() override;
    // ServeRequest once the endpoint is bound, unless the thread has been told
    // to stop.
    void Update() override;

    // Appends a listener (no duplicate check); listeners are not owned.
    void AddListener(NetListener* listener);
    // Takes a listener out, so a destroyed one is never offered a request, and
    // returns once the server is done with it (its request offered, its reply
    // sent). Called by NetListener::Leave, which first ends the listener's wait
    // for a place.
    void RemoveListener(NetListener* listener);
    size_t ListenerCount() const;

    // Creates the context, reads protocol and port of section net and binds the
    // reply socket to protocol + "://" + bindHost + ":" + port. A failure is
    // reported ("ZeroMQ error: " and the library's text) and leaves the thread
    // unbound: false. So does a port that is no port number, for a transport
    // that takes one ("Bad port in section net: ..."). Tests bind the loopback
    // address only.
    bool InitNetwork(std::string_view bindHost = "*");
    bool IsBound() const { return socket_ != nullptr; }

    // Receives one request (blocking), offers it to the listeners and sends one
    // reply, unless a listener left it unanswered.
    void ServeRequest();
    // Called by a listener, on this thread, for a request whose task could not
    // be posted before the stop: it gets no reply and no later listener sees it.
    void LeaveUnanswered() { unanswered_ = true; }
    // True while the thread's step serves (or waits for) a request.
    bool IsServing() const { return serving_.load(std::memory_order_acquire); }
    // How many steps have begun to serve a request since the thread was made.
    uint64_t ServingSteps() const { return servingSteps_.load(std::memory_order_acquire); }
    // First rouses a listener waiting to post, so it sees the stop flag. Then,
    // over tcp, sends "Hello" to the thread's own endpoint and waits for the
    // answer, but only while the server is in its step (a server that has
    // finished its step sees the stop flag before it serves again) and for
    // kWakePatienceMs at most. Unanswered (in time, or at all), the context is
    // shut down, which ends a receive still to come.
    void WakeNetThread();
    // Once the thread has ended (at shutdown, or when it never ran): closes the
    // socket, the default reply and the context, so the library removes what
    // the endpoint made. The thread is unbound afterwards.
    void ReleaseNetwork();

    const std::string& protocol() const { return protocol_; }
    const std::string& port() const { return port_; }

private:
    void Report(const zmq::error_t& error);
    // "Hello" and its answer; true when it came.
    bool SendWakeRequest();
    void ReportBadPort();
    // Receives the next well-formed request: its envelope into envelope_, the
    // first part of its body into `request`. False when nothing came.
    bool ReceiveRequest(zmq::message_t& request);
    // Receives and drops the remaining parts of the message being received.
    void DrainRequest();
    // Sends `reply` under the request's envelope.
    void SendReply(zmq::message_t& reply);
    // The next listener to offer the request to, kept in use (RemoveListener
    // waits for it) until the next call or ReleaseListener; null after the last.
    NetListener* TakeNextListener();
    void ReleaseListener();

    std::unique_ptr<zmq::context_t> context_;
    std::unique_ptr<zmq::socket_t> socket_;
    std::unique_ptr<zmq::message_t> defaultReply_;
    std::vector<zmq::message_t> envelope_; // this thread only
    std::string protocol_;
    std::string port_;
    std::atomic<bool> serving_{false};
    std::atomic<uint64_t> servingSteps_{0};
    bool unanswered_ = false; // this thread only
    mutable std::mutex listenerLock_;
    std::condition_variable listenerReleased_;
    std::vector<NetListener*> listeners_;
    size_t nextListener_ = 0;      // under listenerLock_
    NetListener* inUse_ = nullptr; // under listenerLock_
};

// Made on first use; never destroyed (shutdown releases its context, socket
// and default reply once its thread has ended: ReleaseNetwork).
NetThread* GetNetThread();
