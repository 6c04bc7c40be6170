#pragma once
// The tile texture repair task "FTTFixMe" of RENDERTHREAD: a pooled part
// upload that finds its texels never arrived posts it (tag "fx", no payload),
// and it rebuilds every tile texture of the registered tile set
// (render/textures/tile_textures.h) so that the tiles are loaded again. The module is
// made and attached to the render thread during static initialisation.
#include "kernel/handler_module.h"

class EngineThread;

class TileFixModule : public HandlerModule<TileFixModule> {
public:
    ~TileFixModule() override;
    void RegisterHandlers() override;
};

// Makes the module, keeps it as the process-wide one, attaches it to the
// thread and lets the thread own it.
TileFixModule* AttachFixHandler(EngineThread* thread);
// The module last attached; null once its thread has deleted it.
TileFixModule* GetFixHandler();

// The handler: "FTTFixMe failed" without a registered tile set, else
// "FIXING...", the rebuild from the set's base name, "fixed?".
void FixTileTextures(TileFixModule* module, TaskMessage* task);
