#pragma once
// ThreadMap: the process-wide map from thread id (RSHash of the thread's name)
// to its EngineThread, in which posters find their target. A thread is in it
// from its AddThread until it is destroyed. Also RunRound, the render thread's
// step, which routes the tasks around its work function.
#include <cstdint>
#include <map>
#include <mutex>

class EngineThread;
class RenderThread;

class ThreadMap {
public:
    void Insert(uint32_t id, EngineThread* thread);
    // The thread added under `id`, or null.
    EngineThread* Find(uint32_t id) const;
    bool Contains(uint32_t id) const { return Find(id) != nullptr; }
    // Removes the entry only while it still names `thread`.
    void Erase(uint32_t id, const EngineThread* thread);

private:
    mutable std::mutex lock_;
    std::map<uint32_t, EngineThread*> threads_;
};

ThreadMap& GetThreadMap();

// One step of the render thread: route, call the work function, route again.
// A non-zero result of the work function terminates every thread and stops
// the render thread, whose loop then ends after this cycle.
void RunRound(RenderThread* thread);
