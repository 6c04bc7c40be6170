#pragma once
// NETTHREAD: the engine thread that serves the network requests. Until the
// network link serves requests in its step, the thread sleeps while it has no
// task it could run, and its wake rouses it.
#include <cstdint>

#include "kernel/engine_thread.h"
#include "kernel/rs_hash.h"

inline constexpr uint32_t kNetThreadId = RSHashConst("NETTHREAD");

class NetThread : public EngineThread {
public:
    ~NetThread() override;
    void wake() override;
    void Update() override;
};

// Made on first use; never destroyed at shutdown.
NetThread* GetNetThread();
