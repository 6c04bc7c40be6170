#include "net/para_handler.h"

#include <algorithm>

#include "kernel/engine_threads.h"
#include "kernel/settings.h"
#include "net/net_thread.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/para_objects.h"
#include "net/set_para.h"
#include "net/weather.h"

namespace {

ParaHandler* paraHandler = nullptr;
ParaReplyHandler* paraReplyHandler = nullptr;

template <void (*Handler)(TaskMessage*), class Module>
void Call(Module*, TaskMessage* task)
{
    Handler(task);
}

} // namespace

// ---- ParaHandler ----

ParaHandler::ParaHandler(NetThread* server) : meteoListener_(server), paraListener_(server) {}

ParaHandler::~ParaHandler()
{
    if (paraHandler == this)
        paraHandler = nullptr;
}

void ParaHandler::RegisterHandlers()
{
    RegisterHandler("setWeather", &Call<SetWeatherHandler, ParaHandler>);
    RegisterHandler("setPara", &Call<SetParaHandler, ParaHandler>);
    RegisterHandler("paraPrealloc", &Call<ParaPreallocHandler, ParaHandler>);
    RegisterHandler("paraTarget", &Call<ParaTargetHandler, ParaHandler>);

    const bool async = GetSettings().GetBool("net", "async");
    if (!paraReplyHandler)
        paraReplyHandler = new ParaReplyHandler;
    ParaReplyHandler* reply = paraReplyHandler;
    if (reply->joined)
        return;
    reply->owned = true;
    if (async) {
        // NETTHREAD runs already and registered its modules when it was added:
        // the handler is registered before it joins.
        reply->RegisterHandlers();
        reply->joined = GetNetThread();
    } else {
        // The registration pass of this thread reaches it after this module.
        reply->joined = thread ? thread : GetRenderThread();
    }
    reply->joined->AddModule(reply);
}

ParaHandler* CreateParaHandler(EngineThread* thread)
{
    auto* module = new ParaHandler;
    paraHandler = module;
    module->thread = thread;
    thread->AddModule(module);
    module->owned = true;
    return module;
}

ParaHandler* GetParaHandler()
{
    return paraHandler;
}

// ---- ParaReplyHandler ----

ParaReplyHandler::~ParaReplyHandler()
{
    if (paraReplyHandler == this)
        paraReplyHandler = nullptr;
}

void ParaReplyHandler::RegisterHandlers()
{
    RegisterHandler("replyPara", &Call<ReplyParaHandler, ParaReplyHandler>);
}

ParaReplyHandler* GetParaReplyHandler()
{
    return paraReplyHandler;
}

// ---- replyPara ----

void ReplyParaHandler(TaskMessage* task)
{
    ParaReply record;
    const auto bytes = task->Get<ReplyParaArgs::Record>();
    std::copy(bytes.begin(), bytes.end(), record.bytes.begin());
    WriteParaReply(record);
}

[[maybe_unused]] ParaHandler* const staticParaHandler = CreateParaHandler(GetRenderThread());
