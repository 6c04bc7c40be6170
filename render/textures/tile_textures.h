#pragma once
// Tile textures: a large texture streamed as square tiles over several levels,
// each tile loaded from its own file into a pooled texture (render/textures/texture_pool.h).
// A tile keeps a TileTextureList of what it was given: the file name, the
// handle that shows it, and a copy of that handle which carries the load. The
// one registered TileSet can rebuild every tile's list from the file names
// (the "FTTFixMe" repair, render/textures/tile_texture_repair.h). Render thread only.
//
//   TileSet set;                 // levels, pools, material, names filled in
//   RegisterTileSet(&set);
//   set.RebuildTileTextures(set.baseName);
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/textures/texture_resource.h"

class MaterialResource;
struct TexturePool;

// The textures given to one tile, four lists of equal length.
class TileTextureList {
public:
    TileTextureList() = default;
    ~TileTextureList() { ReleaseTileTextures(); }
    TileTextureList(const TileTextureList&) = delete;
    TileTextureList& operator=(const TileTextureList&) = delete;

    // Records the texture under the name and id, attaches the texture to the
    // id (0: none) and adds a copy of it without a block that carries the
    // texture's load options, pool and pool index and loads asynchronously.
    void AddTileTexture(TextureResource* texture, const std::string& name, uint32_t id);

    // Gives back what the entries hold: a copy that holds a block has its load
    // cancelled and is released with its texture, which then attaches back to
    // its recorded id (when not 0). Empties the lists.
    void ReleaseTileTextures();

    std::vector<std::unique_ptr<TextureResource>> copies; // owned
    std::vector<TextureResource*> textures;               // not owned
    std::vector<std::string> names;
    std::vector<uint32_t> ids;
    uint8_t flags[3] = {};
    uint32_t counter = 0;
};

using TileTextureSet = TileTextureList;

struct Tile {
    TextureResource texture; // before the list, which refers to it
    TileTextureList textureList;
};

class TileSet {
public:
    TileSet() = default;
    ~TileSet(); // no longer the registered set
    TileSet(const TileSet&) = delete;
    TileSet& operator=(const TileSet&) = delete;

    // Gives every tile of every level its file again, by name, and frees the
    // pools' entries. Level k's files are baseName, (topLevel - k), "_", the
    // tile's index in its level's square with the columns mirrored, ".dds";
    // level 0's tiles are bound to the material's texture parameter.
    void RebuildTileTextures(const std::string& fileBaseName);

    std::vector<std::vector<Tile*>> levels; // tiles in tile order; not owned
    uint32_t topLevel = 0;
    MaterialResource* material = nullptr;
    uint8_t useSecondPool = 0;
    std::string textureParam;
    std::string baseName;
    TexturePool* firstPool = nullptr;
    TexturePool* secondPool = nullptr;
};

// The one tile set the repair task works on; null until one registers.
void RegisterTileSet(TileSet* set);
TileSet* GetTileSet();
