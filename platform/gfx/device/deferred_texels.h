#pragma once
// Clears and stretch copies that a recording device has taken but not yet
// carried out on the CPU bytes. Render targets are cleared and copied every
// frame and their bytes are seldom read, so the work waits until something
// reads or writes them: then the work those bytes depend on is carried out,
// in the order it was asked for, and nothing else. Work that a later clear or
// copy overwrites before anything reads it is dropped, so the list stays short
// while nobody looks. What a reader finds is what eager work would have left.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/pixel_ops.h"

namespace gfx {

class Resource;

// The texels one operation reads or writes: a surface, or one level (of one
// face) of a texture, whose bytes belong to `owner`.
struct TexelImage {
    const Resource* owner = nullptr;
    uint32_t subresource = 0; // which level of the owner; 0 for a surface
    uint8_t* bits = nullptr;  // the image's first texel
    uint32_t pitch = 0;
    uint32_t format = 0;
};

class DeferredTexels {
public:
    void Fill(const TexelImage& image, const Rect& rect, const uint8_t* texel, uint32_t texelBytes);
    void FillDepthStencil(const TexelImage& image, const Rect& rect, const DepthStencilFill& fill);
    // The formats can be copied between (CanStretchCopy).
    void Stretch(const TexelImage& source, const Rect& from, const TexelImage& destination, const Rect& to,
                 uint32_t filter);

    // Before `owner`'s bytes are read or written by anyone but this list.
    void Settle(const Resource* owner);
    // Before `owner`'s bytes are freed: what reads them is carried out, what
    // only writes them is dropped.
    void Retire(const Resource* owner);
    void SettleAll();

    bool Empty() const { return ops_.empty(); }
    size_t Waiting() const { return ops_.size(); }

private:
    enum class Kind : uint8_t { Fill, DepthStencil, Stretch };
    struct Op {
        Kind kind = Kind::Fill;
        TexelImage target;
        Rect rect;
        uint8_t texel[16] = {};
        uint32_t texelBytes = 0;
        DepthStencilFill depth;
        TexelImage source; // stretch only
        Rect from;
        uint32_t filter = 0;
    };

    void Add(Op op);
    // Drops what later work overwrites unread; merges depth-stencil clears of one rectangle.
    void Compact();
    // Carries out, in order, the work that `owner`'s bytes depend on (with
    // `itsWriters`, the work that writes them too) and the work that reads
    // them, with everything that work depends on in turn.
    void CarryOut(const Resource* owner, bool itsWriters);
    static void Apply(const Op& op);

    std::vector<Op> ops_;
    // Scratch of CarryOut: owners whose earlier writers, and whose earlier
    // readers, must run; the operations chosen.
    std::vector<const Resource*> writersNeeded_;
    std::vector<const Resource*> readersNeeded_;
    std::vector<uint8_t> chosen_;
};

} // namespace gfx
