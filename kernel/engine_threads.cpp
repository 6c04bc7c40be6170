#include "kernel/engine_threads.h"

#include "kernel/thread_map.h"

namespace {
RenderThread* renderThread = nullptr;
IOThread* ioThread = nullptr;
} // namespace

RenderThread::~RenderThread()
{
    StopAndJoin();
}

void RenderThread::Update()
{
    RunRound(this);
}

IOThread::~IOThread()
{
    StopAndJoin();
}

RenderThread* GetRenderThread()
{
    if (!renderThread) {
        renderThread = new RenderThread();
        renderThread->SetName("RENDERTHREAD");
    }
    return renderThread;
}

EngineThread* GetIOThread()
{
    if (!ioThread) {
        ioThread = new IOThread();
        ioThread->SetName("IOTHREAD");
    }
    return ioThread;
}

void DestroyRenderThread()
{
    delete renderThread;
    renderThread = nullptr;
}

void DestroyIOThread()
{
    delete ioThread;
    ioThread = nullptr;
}
