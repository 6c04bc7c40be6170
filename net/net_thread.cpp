#include "net/net_thread.h"

#include <zmq.hpp>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "net/net_listener.h"

std::string ServerEndpoint(std::string_view protocol, std::string_view port, std::string_view host)
{
    std::string endpoint(protocol);
    endpoint += "://";
    endpoint += host;
    endpoint += ':';
    endpoint += port;
    return endpoint;
}

std::string WakeEndpoint(std::string_view protocol, std::string_view port)
{
    return ServerEndpoint(protocol, port, "localhost");
}

bool IsPortNumber(std::string_view port)
{
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    uint32_t value = 0;
    for (char digit : port)
        value = value * 10 + static_cast<uint32_t>(digit - '0');
    return value >= 1 && value <= 65535;
}

bool TakesPortNumber(std::string_view protocol)
{
    return protocol == "tcp" || protocol == "udp" || protocol == "ws" || protocol == "wss";
}

NetThread::NetThread() = default;

NetThread::~NetThread()
{
    StopAndJoin();
    ReleaseNetwork();
}

void NetThread::wake()
{
    WakeNetThread();
}

void NetThread::Update()
{
    if (!socket_) {
        WaitForWork();
        return;
    }
    // A stop seen here serves nobody more; past this test the step serves one
    // request, which a wake may wait for.
    if (stop.load(std::memory_order_acquire))
        return;
    serving_.store(true, std::memory_order_release);
    servingSteps_.fetch_add(1, std::memory_order_acq_rel);
    ServeRequest();
    serving_.store(false, std::memory_order_release);
}

void NetThread::AddListener(NetListener* listener)
{
    std::lock_guard guard(listenerLock_);
    listeners_.push_back(listener);
}

void NetThread::RemoveListener(NetListener* listener)
{
    std::unique_lock guard(listenerLock_);
    for (size_t i = listeners_.size(); i-- > 0;) {
        if (listeners_[i] != listener)
            continue;
        listeners_.erase(listeners_.begin() + static_cast<std::ptrdiff_t>(i));
        // The listeners after it keep their turn in the request being served.
        if (i < nextListener_)
            --nextListener_;
    }
    listenerReleased_.wait(guard, [&] { return inUse_ != listener; });
}

NetListener* NetThread::TakeNextListener()
{
    NetListener* next = nullptr;
    {
        std::lock_guard guard(listenerLock_);
        if (nextListener_ < listeners_.size())
            next = listeners_[nextListener_++];
        inUse_ = next;
    }
    listenerReleased_.notify_all();
    return next;
}

void NetThread::ReleaseListener()
{
    {
        std::lock_guard guard(listenerLock_);
        inUse_ = nullptr;
        nextListener_ = 0;
    }
    listenerReleased_.notify_all();
}

size_t NetThread::ListenerCount() const
{
    std::lock_guard guard(listenerLock_);
    return listeners_.size();
}

void NetThread::Report(const zmq::error_t& error)
{
    errorTwoLines = false;
    GetErrorStream() << "ZeroMQ error: " << error.what() << "\n";
}

void NetThread::ReportBadPort()
{
    constexpr size_t kShown = 24;
    const std::string shown = port_.size() > kShown ? port_.substr(0, kShown) + "..." : port_;
    errorTwoLines = false;
    GetErrorStream() << "Bad port in section net: \"" << shown << "\" is no number from 1 to 65535; "
                     << "the network link stays off.\n";
}

bool NetThread::InitNetwork(std::string_view bindHost)
{
    try {
        context_ = std::make_unique<zmq::context_t>(1);
        socket_ = std::make_unique<zmq::socket_t>(*context_, zmq::socket_type::router);
        protocol_ = GetSettings().GetString("net", "protocol");
        port_ = GetSettings().GetString("net", "port");
        // The library would take such a port modulo 65536 or in some other way
        // of its own: listening where nobody looks is worse than not at all.
        if (TakesPortNumber(protocol_) && !IsPortNumber(port_)) {
            ReportBadPort();
            socket_.reset();
            context_.reset();
            return false;
        }
        // Closing the socket must never wait for a peer.
        socket_->set(zmq::sockopt::linger, 0);
        socket_->set(zmq::sockopt::maxmsgsize, kMaxRequestSize);
        socket_->bind(ServerEndpoint(protocol_, port_, bindHost));
        defaultReply_ = std::make_unique<zmq::message_t>(kDefaultReply, kDefaultReplySize);
    } catch (const zmq::error_t& error) {
        Report(error);
        socket_.reset();
        defaultReply_.reset();
        context_.reset();
        return false;
    }
    return true;
}

bool NetThread::ReceiveRequest(zmq::message_t& request)
{
    for (;;) {
        // The rest of a message whose receive broke off goes first.
        DrainRequest();
        envelope_.clear();
        zmq::message_t part;
        if (!socket_->recv(part, zmq::recv_flags::none))
            return false;
        bool more = part.more();
        envelope_.push_back(std::move(part)); // the peer's routing id
        while (more) {
            if (!socket_->recv(part, zmq::recv_flags::none))
                return false;
            more = part.more();
            const bool delimiter = more && part.size() == 0;
            envelope_.push_back(std::move(part));
            if (delimiter)
                return socket_->recv(request, zmq::recv_flags::none).has_value();
            if (envelope_.size() == kMaxEnvelopeParts)
                break;
        }
        // No empty part: no REQ peer sent this, and no reply could reach one.
    }
}

void NetThread::DrainRequest()
{
    zmq::message_t part;
    while (socket_->get(zmq::sockopt::rcvmore)) {
        if (!socket_->recv(part, zmq::recv_flags::none))
            return;
    }
}

void NetThread::SendReply(zmq::message_t& reply)
{
    // A peer gone meanwhile: the library drops the reply. "Try again" counts as
    // sent; it is not retried.
    for (zmq::message_t& part : envelope_)
        (void)socket_->send(part, zmq::send_flags::sndmore);
    envelope_.clear();
    (void)socket_->send(reply, zmq::send_flags::none);
}

void NetThread::ServeRequest()
{
    zmq::message_t request;
    try {
        // Nothing received (the receive was only interrupted): nothing to answer.
        if (!ReceiveRequest(request))
            return;
    } catch (const zmq::error_t& error) {
        if (error.num() == EINTR)
            return;
        if (error.num() == ETERM) {
            // The context was shut down (by a wake that could not reach us):
            // nothing can be served any more.
            stop.store(true, std::memory_order_release);
            return;
        }
        // A failed receive leaves the socket owing no reply: none is sent.
        Report(error);
        return;
    }

    // The listener that answers stays in use until its reply is sent: its
    // reply message is its own.
    struct Released {
        NetThread* server;
        ~Released() { server->ReleaseListener(); }
    } released{this};
    try {
        zmq::message_t* reply = nullptr;
        unanswered_ = false;
        if (request.more()) {
            // Requests are single messages; a multi-part one is read to its end
            // and answered with the default reply, unseen by the listeners.
            DrainRequest();
        } else {
            const auto* bytes = static_cast<const uint8_t*>(request.data());
            while (!unanswered_) {
                NetListener* listener = TakeNextListener();
                if (!listener)
                    break;
                if (listener->OnRequest(bytes, request.size())) {
                    reply = listener->ReplyMessage();
                    break;
                }
            }
        }
        // The thread is stopping: this peer gets no reply.
        if (unanswered_) {
            envelope_.clear();
            return;
        }
        if (reply) {
            SendReply(*reply);
        } else {
            SendReply(*defaultReply_);
            // A sent message is left empty by the library.
            defaultReply_->rebuild(kDefaultReply, kDefaultReplySize);
        }
    } catch (const zmq::error_t& error) {
        if (error.num() == ETERM) {
            stop.store(true, std::memory_order_release);
            return;
        }
        Report(error);
    }
}

void NetThread::WakeNetThread()
{
    // A listener waiting for RENDERTHREAD to take its tasks gives up now.
    WakeNetTaskWaiters();
    if (!context_) {
        // Not serving: the step is the idle wait, which a notification ends.
        NotifyWork();
        return;
    }
    // Only over tcp does "localhost" address the bound endpoint: over any other
    // transport "Hello" would wait for nobody.
    const bool answered = protocol_ == "tcp" && SendWakeRequest();
    // Not answered (the server finished its step first, or was not reached in
    // time, or its thread is held by an error box): ending the context ends a
    // receive still to come, so the thread can be joined.
    if (!answered)
        context_->shutdown();
}

bool NetThread::SendWakeRequest()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWakePatienceMs);
    bool answered = false;
    try {
        zmq::socket_t wakeSocket(*context_, zmq::socket_type::req);
        wakeSocket.set(zmq::sockopt::linger, 0);
        wakeSocket.set(zmq::sockopt::sndtimeo, kWakePatienceMs);
        wakeSocket.set(zmq::sockopt::rcvtimeo, kWakeSliceMs);
        wakeSocket.connect(WakeEndpoint(protocol_, port_));
        zmq::message_t hello(kWakeRequest, kWakeRequestSize);
        if (!wakeSocket.send(hello, zmq::send_flags::none))
            return false;
        zmq::message_t answer;
        // Busy clients may come before "Hello"; once the server has left its
        // step it sees the stop flag and serves nobody, "Hello" included.
        while (!answered && IsServing() && std::chrono::steady_clock::now() < deadline) {
            try {
                answered = wakeSocket.recv(answer, zmq::recv_flags::none).has_value();
            } catch (const zmq::error_t& error) {
                if (error.num() != EINTR)
                    throw;
            }
        }
        // The answer may have come as the server left its step.
        if (!answered)
            answered = wakeSocket.recv(answer, zmq::recv_flags::dontwait).has_value();
    } catch (const zmq::error_t& error) {
        Report(error);
    }
    return answered;
}

void NetThread::ReleaseNetwork()
{
    if (handle.HasHandle())
        return;
    // The socket first: the context's end waits until the library has closed
    // it and what its endpoint made (an ipc endpoint's socket file and folder).
    socket_.reset();
    defaultReply_.reset();
    context_.reset();
}

NetThread* GetNetThread()
{
    static NetThread* thread = [] {
        auto* made = new NetThread();
        made->SetName("NETTHREAD");
        return made;
    }();
    return thread;
}
