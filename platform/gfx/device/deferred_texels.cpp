#include "platform/gfx/device/deferred_texels.h"

#include <algorithm>
#include <cstring>

namespace gfx {

namespace {

// Beyond this the oldest work is carried out: a program that keeps clearing
// parts of images it never reads costs what eager clears would.
constexpr size_t kMostWaiting = 64;

bool Inside(const Rect& inner, const Rect& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool NoArea(const Rect& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

bool SameImage(const TexelImage& a, const TexelImage& b)
{
    return a.owner == b.owner && a.subresource == b.subresource;
}

void Note(std::vector<const Resource*>& set, const Resource* owner)
{
    if (std::find(set.begin(), set.end(), owner) == set.end())
        set.push_back(owner);
}

bool Holds(const std::vector<const Resource*>& set, const Resource* owner)
{
    return std::find(set.begin(), set.end(), owner) != set.end();
}

} // namespace

void DeferredTexels::Fill(const TexelImage& image, const Rect& rect, const uint8_t* texel, uint32_t texelBytes)
{
    if (NoArea(rect) || texelBytes == 0 || texelBytes > sizeof(Op::texel))
        return;
    Op op;
    op.kind = Kind::Fill;
    op.target = image;
    op.rect = rect;
    std::memcpy(op.texel, texel, texelBytes);
    op.texelBytes = texelBytes;
    Add(op);
}

void DeferredTexels::FillDepthStencil(const TexelImage& image, const Rect& rect, const DepthStencilFill& fill)
{
    if (NoArea(rect) || fill.written == 0)
        return;
    Op op;
    op.kind = Kind::DepthStencil;
    op.target = image;
    op.rect = rect;
    op.depth = fill;
    Add(op);
}

void DeferredTexels::Stretch(const TexelImage& source, const Rect& from, const TexelImage& destination, const Rect& to,
                             uint32_t filter)
{
    if (NoArea(from) || NoArea(to))
        return;
    Op op;
    op.kind = Kind::Stretch;
    op.target = destination;
    op.rect = to;
    op.source = source;
    op.from = from;
    op.filter = filter;
    Add(op);
}

void DeferredTexels::Add(Op op)
{
    ops_.push_back(op);
    Compact();
    while (ops_.size() > kMostWaiting) {
        Apply(ops_.front());
        ops_.erase(ops_.begin());
    }
}

void DeferredTexels::Compact()
{
    // From the newest back: an operation goes when a later one on the same
    // image overwrites every bit it wrote before anything read that image.
    for (size_t i = ops_.size(); i-- > 0;) {
        const Op& earlier = ops_[i];
        bool touched = false; // another write to the image came in between
        for (size_t j = i + 1; j < ops_.size(); ++j) {
            Op& later = ops_[j];
            if (later.kind == Kind::Stretch && later.source.owner == earlier.target.owner)
                break; // read before it was overwritten
            if (!SameImage(later.target, earlier.target))
                continue;
            const bool wholeTexels = later.kind != Kind::DepthStencil ||
                                     (earlier.kind == Kind::DepthStencil &&
                                      (earlier.depth.written & ~later.depth.written) == 0);
            if (wholeTexels && Inside(earlier.rect, later.rect)) {
                ops_.erase(ops_.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
            if (!touched && later.kind == Kind::DepthStencil && earlier.kind == Kind::DepthStencil &&
                std::memcmp(&later.rect, &earlier.rect, sizeof(Rect)) == 0) {
                // One clear of the rectangle: the later bits over the earlier ones.
                later.depth.value = (earlier.depth.value & ~later.depth.written) | later.depth.value;
                later.depth.written |= earlier.depth.written;
                ops_.erase(ops_.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
            touched = true;
        }
    }
}

void DeferredTexels::CarryOut(const Resource* owner, bool itsWriters)
{
    if (ops_.empty())
        return;
    writersNeeded_.clear();
    readersNeeded_.clear();
    if (itsWriters)
        writersNeeded_.push_back(owner);
    readersNeeded_.push_back(owner);
    chosen_.assign(ops_.size(), 0);
    bool any = false;
    // From the newest back. An operation is needed when it writes an image
    // whose writers are needed, or reads one whose readers are: those must
    // run before the bytes change. Running it needs the earlier writers and
    // readers of what it writes, and the earlier writers of what it reads.
    for (size_t i = ops_.size(); i-- > 0;) {
        const Op& op = ops_[i];
        const bool reads = op.kind == Kind::Stretch && Holds(readersNeeded_, op.source.owner);
        if (!reads && !Holds(writersNeeded_, op.target.owner))
            continue;
        chosen_[i] = 1;
        any = true;
        Note(writersNeeded_, op.target.owner);
        Note(readersNeeded_, op.target.owner);
        if (op.kind == Kind::Stretch)
            Note(writersNeeded_, op.source.owner);
    }
    if (!any)
        return;
    size_t kept = 0;
    for (size_t i = 0; i < ops_.size(); ++i) {
        if (chosen_[i])
            Apply(ops_[i]);
        else
            ops_[kept++] = ops_[i];
    }
    ops_.resize(kept);
}

void DeferredTexels::Settle(const Resource* owner)
{
    CarryOut(owner, true);
}

void DeferredTexels::Retire(const Resource* owner)
{
    CarryOut(owner, false);
    std::erase_if(ops_, [owner](const Op& op) { return op.target.owner == owner; });
}

void DeferredTexels::SettleAll()
{
    for (const Op& op : ops_)
        Apply(op);
    ops_.clear();
}

void DeferredTexels::Apply(const Op& op)
{
    const TexelImage& to = op.target;
    switch (op.kind) {
    case Kind::Fill: FillRect(to.bits, to.pitch, op.rect, op.texel, op.texelBytes); break;
    case Kind::DepthStencil: ApplyDepthStencilFill(to.bits, to.pitch, op.rect, op.depth); break;
    case Kind::Stretch:
        StretchCopy(op.source.bits, op.source.pitch, op.source.format, op.from, to.bits, to.pitch, to.format, op.rect,
                    op.filter);
        break;
    }
}

} // namespace gfx
