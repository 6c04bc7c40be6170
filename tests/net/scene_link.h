#pragma once
// A network link as the program runs it, on loopback, with a RemoteScene for
// its handlers: the ParaHandler module on a render thread of the test's own,
// the server bound to a free port, and a client. A request is sent, served and
// answered; its task is then routed and run on the render thread.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "kernel/engine_thread.h"
#include "kernel/queue_registry.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "net/para_handler.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "platform/bytes/byte_writer.h"
#include "testing/net_support.h"

namespace net_test {

inline constexpr char kWeatherHeader[] = "WEATHER0";
inline constexpr char kParaHeader[] = "PARAMSET";
inline constexpr char kPreallocHeader[] = "PREALLOC";
inline constexpr char kTargetHeader[] = "PARATRGT";

// A record of `size` zero bytes with little-endian fields written into it.
template <size_t kSize>
struct Record {
    std::array<uint8_t, kSize> bytes{};

    Record& U8(size_t at, uint8_t v)
    {
        bytes[at] = v;
        return *this;
    }
    Record& U16(size_t at, uint16_t v)
    {
        platform::ByteWriter(std::span(bytes).subspan(at)).U16(v);
        return *this;
    }
    Record& I16(size_t at, int16_t v)
    {
        platform::ByteWriter(std::span(bytes).subspan(at)).I16(v);
        return *this;
    }
    Record& F32(size_t at, float v)
    {
        platform::ByteWriter(std::span(bytes).subspan(at)).F32(v);
        return *this;
    }
    // The request: the header, then the record.
    Bytes Request(const std::string& header) const
    {
        Bytes request = ToBytes(header);
        request.insert(request.end(), bytes.begin(), bytes.end());
        return request;
    }
};

using SetParaRecord = Record<kSetParaRecordSize>;
using TargetRecord = Record<kParaTargetRecordSize>;

class SceneLink {
public:
    SceneLink()
    {
        UseNetSettings(FreeLoopbackPort());
        registry_ = GetQueueRegistry();
        registry_->ResetQueues();
        ResetPendingNetTasks();
        ResetParaReply();
        GetTargetRecordStore().Clear();
        render_.SetName("RENDERTHREAD");
        auto* module = new ParaHandler(&server_);
        module->thread = &render_;
        module->owned = true;
        render_.AddModule(module);
        EXPECT_TRUE(registry_->RegisterThread(&render_));
        render_.InitThread();
        EXPECT_TRUE(server_.InitNetwork("127.0.0.1"));
        client_.emplace(GetSettings().GetString("net", "port"));
        SetRemoteScene(&scene);
    }

    ~SceneLink()
    {
        SetRemoteScene(nullptr);
        client_.reset();
        registry_->ResetQueues();
        ResetPendingNetTasks();
        ResetParaReply();
        GetTargetRecordStore().Clear();
    }

    // Sends the request, serves it and returns the answer (empty when none came).
    Bytes Send(const Bytes& request)
    {
        EXPECT_TRUE(client_->Send(request));
        server_.ServeRequest();
        std::optional<Bytes> reply = client_->Receive();
        EXPECT_TRUE(reply.has_value());
        return reply.value_or(Bytes{});
    }

    // Runs every posted task on the render thread, in order.
    void RunTasks()
    {
        for (int cycle = 0; cycle < 16 && PendingNetTasks() > 0; ++cycle) {
            registry_->RouteQueues();
            render_.RunCycle();
            render_.ProcessHeadTask();
        }
        EXPECT_EQ(PendingNetTasks(), 0u);
    }

    // A request answered and its task run; the answer.
    Bytes Apply(const Bytes& request)
    {
        Bytes reply = Send(request);
        RunTasks();
        return reply;
    }

    Bytes SetPara(const SetParaRecord& record) { return Apply(record.Request(kParaHeader)); }
    Bytes Prealloc(uint16_t count)
    {
        Record<2> record;
        record.U16(0, count);
        return Apply(record.Request(kPreallocHeader));
    }
    Bytes Target(const TargetRecord& record) { return Apply(record.Request(kTargetHeader)); }

    RemoteScene scene;

private:
    platform::testing::ScriptedMessageBoxes boxes_;
    QueueRegistry* registry_ = nullptr;
    NetThread server_;
    EngineThread render_;
    std::optional<Client> client_;
};

// The 13 reply bytes: "PARAREPL", the flags and the value.
inline Bytes ReplyBytes(uint8_t flags, float value)
{
    ParaReply reply;
    reply.SetFlags(flags);
    reply.SetValue(value);
    return Bytes(reply.bytes.begin(), reply.bytes.end());
}

} // namespace net_test
