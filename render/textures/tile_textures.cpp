#include "render/textures/tile_textures.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "render/device/texture_upload_module.h"
#include "render/resources/material.h"
#include "render/textures/texture_pool.h"

namespace {

TileSet* registeredTileSet = nullptr;

// A read still running into the copy's buffer must end before the copy goes.
bool WaitForReadToEnd(const FileBuffer& file)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kUploadBusyWaitSeconds);
    while (file.IsBusy()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

std::string TileFileName(const std::string& baseName, uint32_t levelNumber, uint32_t index)
{
    return baseName + std::to_string(levelNumber) + "_" + std::to_string(index) + ".dds";
}

} // namespace

void TileTextureList::AddTileTexture(TextureResource* texture, const std::string& name, uint32_t id)
{
    textures.push_back(texture);
    names.push_back(name);
    ids.push_back(id);
    texture->AttachById(id);
    auto copy = std::make_unique<TextureResource>();
    copy->pool = texture->pool;
    copy->loadFlags = texture->loadFlags;
    copy->texturePool = texture->texturePool;
    copy->poolIndex = texture->poolIndex;
    copy->async = 1;
    copies.push_back(std::move(copy));
}

void TileTextureList::ReleaseTileTextures()
{
    const size_t count = std::min({copies.size(), textures.size(), ids.size()});
    for (size_t i = 0; i < count; ++i) {
        TextureResource* copy = copies[i].get();
        TextureResource* target = textures[i];
        if (!copy || !copy->IsValid())
            continue;
        const uint32_t state = copy->GetState();
        // A part upload that failed leaves state 0 with the rest of its
        // chain still queued, pointing into the copy.
        if (state == resource_state::kLoading)
            copy->CancelTasks();
        else
            CancelLoadChain(copy->pendingBatch);
        // A failed load's block is released too: the tile must not keep a
        // pool entry nothing will load into.
        if (state != resource_state::kNone || target->GetBlock() == copy->GetBlock())
            target->ReleaseResource();
        copy->ReleaseResource();
        if (ids[i] != 0)
            target->AttachById(ids[i]);
    }
    textures.clear();
    flags[0] = flags[1] = flags[2] = 0;
    counter = 0;
    for (std::unique_ptr<TextureResource>& copy : copies) {
        // Memory the IO thread is still writing is better lost than freed.
        if (copy && !WaitForReadToEnd(copy->fileBuffer))
            (void)copy.release();
    }
    copies.clear();
    names.clear();
    ids.clear();
}

TileSet::~TileSet()
{
    if (registeredTileSet == this)
        registeredTileSet = nullptr;
}

void TileSet::RebuildTileTextures(const std::string& fileBaseName)
{
    for (size_t k = 0; k < levels.size(); ++k) {
        const std::vector<Tile*>& level = levels[k];
        const uint32_t m = static_cast<uint32_t>(level.size());
        const uint32_t side = static_cast<uint32_t>(std::sqrt(static_cast<float>(m)));
        const uint32_t levelNumber = topLevel - static_cast<uint32_t>(k);
        for (uint32_t j = 0; j < m; ++j) {
            Tile* tile = level[j];
            if (!tile)
                continue;
            const uint32_t row = j / side;
            const uint32_t col = static_cast<uint32_t>(std::fmod(static_cast<float>(j), static_cast<float>(side)));
            const uint32_t index = row * side + (side - 1 - col);
            const std::string name = TileFileName(fileBaseName, levelNumber, index);
            tile->textureList.ReleaseTileTextures();
            uint32_t id = 0;
            if (k == 0 && material) {
                // A material without a block has no slots: the tile is bound to nothing.
                if (TextureResource* slot = material->textureSlots.GetTextureSlot(textureParam))
                    id = slot->GetId();
            }
            tile->textureList.AddTileTexture(&tile->texture, name, id);
        }
    }
    if (firstPool)
        ResetTexturePool(*firstPool);
    if (useSecondPool && secondPool)
        ResetTexturePool(*secondPool);
}

void RegisterTileSet(TileSet* set)
{
    registeredTileSet = set;
}

TileSet* GetTileSet()
{
    return registeredTileSet;
}
