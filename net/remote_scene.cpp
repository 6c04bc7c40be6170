#include "net/remote_scene.h"

#include <atomic>

namespace {
std::atomic<RemoteScene*> remoteScene{nullptr};
} // namespace

RemoteScene* GetRemoteScene()
{
    return remoteScene.load(std::memory_order_acquire);
}

void SetRemoteScene(RemoteScene* scene)
{
    remoteScene.store(scene, std::memory_order_release);
}
