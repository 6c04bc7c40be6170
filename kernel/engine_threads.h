#pragma once
// The engine's own threads: RENDERTHREAD, whose loop is the main loop on the
// process's main thread and whose step routes the tasks around the work
// function, and IOTHREAD, which runs the file reads on a thread of its own.
// (NETTHREAD is in net/net_thread.h.) Each is made by its getter on first use.
#include <cstdint>
#include <functional>

#include "kernel/engine_thread.h"
#include "kernel/rs_hash.h"

inline constexpr uint32_t kRenderThreadId = RSHashConst("RENDERTHREAD");
inline constexpr uint32_t kIOThreadId = RSHashConst("IOTHREAD");

class RenderThread : public EngineThread {
public:
    // Returns non-zero to end the program: the message pump once installed.
    using WorkFunction = std::function<int()>;

    ~RenderThread() override;

    void SetWorkFunction(WorkFunction work) { work_ = std::move(work); }
    // Runs the work function; 0 while there is none.
    int CallWork() { return work_ ? work_() : 0; }

    // RunRound (kernel/thread_map.h).
    void Update() override;

private:
    WorkFunction work_;
};

// A thread whose step has nothing of its own to do: it sleeps while it has no
// task it could run, and is roused by routing and by its wake.
class IOThread : public EngineThread {
public:
    ~IOThread() override;
    void wake() override { NotifyWork(); }
    void Update() override { WaitForWork(); }
};

RenderThread* GetRenderThread();
EngineThread* GetIOThread();
// Destroy the thread objects at shutdown; the getters then make new ones.
void DestroyRenderThread();
void DestroyIOThread();
