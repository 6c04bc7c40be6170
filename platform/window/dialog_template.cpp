#include "platform/window/dialog_template.h"

#include <cstring>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"

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

// Each byte becomes one 16-bit character (the 8-bit text is Latin-1).
void WriteText(ByteWriter& out, const std::string& text)
{
    for (unsigned char c : text)
        out.U16(c);
    out.U16(0);
}

std::string ReadText(ByteReader& in)
{
    std::string text;
    for (;;) {
        uint16_t c = in.U16();
        if (!in.Ok() || c == 0)
            return text;
        text += c < 0x100 ? static_cast<char>(c) : '?';
    }
}

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
    ByteWriter out(block, size);
    out.U32(dialog.style);
    out.U32(dialog.exStyle);
    out.U16(static_cast<uint16_t>(dialog.items.size()));
    out.I16(dialog.x);
    out.I16(dialog.y);
    out.I16(dialog.cx);
    out.I16(dialog.cy);
    out.U16(0); // no menu
    out.U16(0); // the standard dialog class
    WriteText(out, dialog.title);
    for (const auto& item : dialog.items) {
        out.Align(4);
        out.U32(item.style);
        out.U32(item.exStyle);
        out.I16(item.x);
        out.I16(item.y);
        out.I16(item.cx);
        out.I16(item.cy);
        out.U16(item.id);
        out.U16(0xFFFF);
        out.U16(item.classAtom);
        WriteText(out, item.text);
        out.U16(0); // no creation data
    }
    return out.Ok();
}

std::optional<DialogTemplate> ReadDialogTemplate(const uint8_t* block, size_t size)
{
    if (!block)
        return std::nullopt;
    ByteReader in(block, size);
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
    dialog.title = ReadText(in);
    for (uint16_t i = 0; i < count && in.Ok(); ++i) {
        in.Align(4);
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
        item.text = ReadText(in);
        if (in.U16() != 0) // creation data is not supported
            return std::nullopt;
        dialog.items.push_back(std::move(item));
    }
    if (!in.Ok())
        return std::nullopt;
    return dialog;
}

} // namespace platform
