#include "render/textures/tile_texture_repair.h"

#include <iostream>

#include "kernel/engine_thread.h"
#include "kernel/engine_threads.h"
#include "render/textures/tile_textures.h"

namespace {

TileFixModule* fixHandler = nullptr;

// Made before any thread is added, so the task is served from the first cycle.
[[maybe_unused]] TileFixModule* const staticFixHandler = AttachFixHandler(GetRenderThread());

} // namespace

TileFixModule::~TileFixModule()
{
    if (fixHandler == this)
        fixHandler = nullptr;
}

void TileFixModule::RegisterHandlers()
{
    RegisterHandler("FTTFixMe", &FixTileTextures);
}

void FixTileTextures(TileFixModule* /*module*/, TaskMessage* /*task*/)
{
    TileSet* set = GetTileSet();
    if (!set) {
        std::cout << "FTTFixMe failed\n";
        return;
    }
    std::cout << "FIXING...\n";
    set->RebuildTileTextures(set->baseName);
    std::cout << "fixed?\n";
}

TileFixModule* AttachFixHandler(EngineThread* thread)
{
    TileFixModule* module = new TileFixModule;
    fixHandler = module;
    thread->AddModule(module);
    module->owned = true;
    return module;
}

TileFixModule* GetFixHandler()
{
    return fixHandler;
}
