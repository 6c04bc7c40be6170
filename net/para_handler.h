#pragma once
// The handler modules of the network link. The ParaHandler lives on
// RENDERTHREAD, serves setWeather, setPara, paraPrealloc and paraTarget, and
// owns the two request listeners, so making it is what registers them with the
// network server. The ParaReplyHandler serves replyPara, which overwrites the
// ParaReply block; it joins the thread that answers requests: NETTHREAD when
// section net's async is set, else RENDERTHREAD.
#include "kernel/handler_module.h"
#include "net/request_listeners.h"

class EngineThread;
class NetThread;

class ParaHandler : public HandlerModule<ParaHandler> {
public:
    // Both listeners register with `server` (the NetThread when none is given),
    // the weather listener first.
    explicit ParaHandler(NetThread* server = nullptr);
    ~ParaHandler() override;

    // RegisterParaHandlers.
    void RegisterHandlers() override;

    // The thread the module was attached to by CreateParaHandler.
    EngineThread* thread = nullptr;

private:
    MeteoListener meteoListener_;
    ParaListener paraListener_;
};

class ParaReplyHandler : public HandlerModule<ParaReplyHandler> {
public:
    ~ParaReplyHandler() override;
    // RegisterReplyHandlers.
    void RegisterHandlers() override;

    // The thread it has joined, null before.
    EngineThread* joined = nullptr;
};

// Makes the ParaHandler, attaches it (owned) to `thread` and keeps it as the
// one GetParaHandler returns. Done once at static initialisation with
// RENDERTHREAD.
ParaHandler* CreateParaHandler(EngineThread* thread);
ParaHandler* GetParaHandler();
// Null until RegisterParaHandlers made it, and again once its thread deleted it.
ParaReplyHandler* GetParaReplyHandler();

// The four remote-scene task handlers, which return at once while no
// RemoteScene exists, are in net/weather.h (setWeather), net/set_para.h
// (setPara) and net/para_objects.h (paraPrealloc, paraTarget).
// Copies the 13-byte ParaReply record at the start of the payload, tag
// included, into the ParaReply block.
void ReplyParaHandler(TaskMessage* task);
