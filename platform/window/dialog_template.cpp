#include "platform/window/dialog_template.h"

#include <cstring>

namespace platform {

namespace {

size_t TextBytes(const std::string& text)
{
    return 2 * (text.size() + 1);
}

size_t Aligned(size_t n)
{
    return (n + 3) & ~size_t{3};
}

size_t HeaderSize(const DialogTemplate& dialog)
{
    return 4 + 4 + 2 + 4 * 2 + 2 + 2 + TextBytes(dialog.title);
}

size_t ItemSize(const DialogTemplateItem& item)
{
    return 24 + TextBytes(item.text);
}

class Writer {
public:
    Writer(uint8_t* block, size_t size) : block_(block), size_(size) {}
    void U16(uint16_t v) { Put(&v, 2); }
    void U32(uint32_t v) { Put(&v, 4); }
    void I16(int16_t v) { Put(&v, 2); }
    // Each byte becomes one 16-bit character (the 8-bit text is Latin-1).
    void Text(const std::string& text)
    {
        for (unsigned char c : text)
            U16(c);
        U16(0);
    }
    void Align()
    {
        while (at_ % 4)
            block_[at_++] = 0;
    }

private:
    void Put(const void* p, size_t n)
    {
        std::memcpy(block_ + at_, p, n);
        at_ += n;
    }
    uint8_t* block_;
    [[maybe_unused]] size_t size_;
    size_t at_ = 0;
};

class Reader {
public:
    Reader(const uint8_t* block, size_t size) : block_(block), size_(size) {}
    bool ok() const { return ok_; }
    uint16_t U16() { uint16_t v = 0; Get(&v, 2); return v; }
    uint32_t U32() { uint32_t v = 0; Get(&v, 4); return v; }
    int16_t I16() { int16_t v = 0; Get(&v, 2); return v; }
    std::string Text()
    {
        std::string text;
        for (;;) {
            uint16_t c = U16();
            if (!ok_ || c == 0)
                return text;
            text += c < 0x100 ? static_cast<char>(c) : '?';
        }
    }
    void Align() { at_ = (at_ + 3) & ~size_t{3}; }

private:
    void Get(void* p, size_t n)
    {
        if (!ok_ || at_ > size_ || size_ - at_ < n) {
            ok_ = false;
            return;
        }
        std::memcpy(p, block_ + at_, n);
        at_ += n;
    }
    const uint8_t* block_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

size_t DialogTemplateSize(const DialogTemplate& dialog)
{
    size_t size = Aligned(HeaderSize(dialog));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        size += ItemSize(dialog.items[i]);
        if (i + 1 < dialog.items.size())
            size = Aligned(size);
    }
    return size;
}

bool WriteDialogTemplate(const DialogTemplate& dialog, uint8_t* block, size_t size)
{
    if (!block || size < DialogTemplateSize(dialog))
        return false;
    std::memset(block, 0, size);
    Writer out(block, size);
    out.U32(dialog.style);
    out.U32(dialog.exStyle);
    out.U16(static_cast<uint16_t>(dialog.items.size()));
    out.I16(dialog.x);
    out.I16(dialog.y);
    out.I16(dialog.cx);
    out.I16(dialog.cy);
    out.U16(0); // no menu
    out.U16(0); // the standard dialog class
    out.Text(dialog.title);
    for (const auto& item : dialog.items) {
        out.Align();
        out.U32(item.style);
        out.U32(item.exStyle);
        out.I16(item.x);
        out.I16(item.y);
        out.I16(item.cx);
        out.I16(item.cy);
        out.U16(item.id);
        out.U16(0xFFFF);
        out.U16(item.classAtom);
        out.Text(item.text);
        out.U16(0); // no creation data
    }
    return true;
}

std::optional<DialogTemplate> ReadDialogTemplate(const uint8_t* block, size_t size)
{
    if (!block)
        return std::nullopt;
    Reader in(block, size);
    DialogTemplate dialog;
    dialog.style = in.U32();
    dialog.exStyle = in.U32();
    const uint16_t count = in.U16();
    dialog.x = in.I16();
    dialog.y = in.I16();
    dialog.cx = in.I16();
    dialog.cy = in.I16();
    if (in.U16() != 0 || in.U16() != 0) // menus and private classes are not supported
        return std::nullopt;
    dialog.title = in.Text();
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        in.Align();
        DialogTemplateItem item;
        item.style = in.U32();
        item.exStyle = in.U32();
        item.x = in.I16();
        item.y = in.I16();
        item.cx = in.I16();
        item.cy = in.I16();
        item.id = in.U16();
        if (in.U16() != 0xFFFF)
            return std::nullopt;
        item.classAtom = in.U16();
        item.text = in.Text();
        if (in.U16() != 0) // creation data is not supported
            return std::nullopt;
        dialog.items.push_back(std::move(item));
    }
    if (!in.ok())
        return std::nullopt;
    return dialog;
}

} // namespace platform
