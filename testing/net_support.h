#pragma once
// Helpers of the network tests and benchmark: free loopback ports, a request client with
// bounded waits, and the [net] settings the listeners read.
#include <zmq.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel/settings.h"
#include "testing/message_box_script.h"

namespace net_test {

using Bytes = std::vector<uint8_t>;

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline std::string FreeLoopbackPort()
{
    zmq::context_t context(1);
    zmq::socket_t probe(context, zmq::socket_type::rep);
    probe.set(zmq::sockopt::linger, 0);
    probe.bind("tcp://127.0.0.1:*");
    const std::string endpoint = probe.get(zmq::sockopt::last_endpoint);
    return endpoint.substr(endpoint.rfind(':') + 1);
}

inline Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

inline std::string ToText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// The request: an 8-character header followed by `recordSize` bytes 0, 1, 2...
inline Bytes Request(const std::string& header, size_t recordSize)
{
    Bytes bytes = ToBytes(header);
    for (size_t i = 0; i < recordSize; ++i)
        bytes.push_back(static_cast<uint8_t>(i * 7 + 1));
    return bytes;
}

// A REQ client of the server at tcp://127.0.0.1:port; every wait bounded.
class Client {
public:
    explicit Client(const std::string& port, int patienceMs = 5000) : socket_(context_, zmq::socket_type::req)
    {
        socket_.set(zmq::sockopt::linger, 0);
        socket_.set(zmq::sockopt::rcvtimeo, patienceMs);
        socket_.set(zmq::sockopt::sndtimeo, 5000);
        socket_.connect("tcp://127.0.0.1:" + port);
    }

    bool Send(const Bytes& bytes) { return socket_.send(zmq::buffer(bytes), zmq::send_flags::none).has_value(); }

    bool SendParts(const std::vector<Bytes>& parts)
    {
        for (size_t i = 0; i < parts.size(); ++i) {
            const auto flags = i + 1 < parts.size() ? zmq::send_flags::sndmore : zmq::send_flags::none;
            if (!socket_.send(zmq::buffer(parts[i]), flags))
                return false;
        }
        return true;
    }

    // The reply, or nothing when none came in time.
    std::optional<Bytes> Receive()
    {
        zmq::message_t reply;
        if (!socket_.recv(reply, zmq::recv_flags::none))
            return std::nullopt;
        const auto* data = static_cast<const uint8_t*>(reply.data());
        return Bytes(data, data + reply.size());
    }

private:
    zmq::context_t context_{1};
    zmq::socket_t socket_;
};

// The [net] keys the link reads, set in the process's settings (whose file is
// not looked for again).
inline void UseNetSettings(const std::string& port, const std::string& meteo = "WEATHER0",
                           const std::string& para = "PARAMSET", const std::string& prealloc = "PREALLOC",
                           const std::string& target = "PARATRGT")
{
    {
        platform::testing::ScriptedMessageBoxes boxes; // the file itself may be absent
        GetSettings();
    }
    Settings& settings = GetSettings();
    settings.Set("net", "async", "0");
    settings.Set("net", "protocol", "tcp");
    settings.Set("net", "port", port);
    settings.Set("net", "meteoHeader", meteo);
    settings.Set("net", "paraHeader", para);
    settings.Set("net", "preallocHeader", prealloc);
    settings.Set("net", "targetHeader", target);
}

} // namespace net_test
