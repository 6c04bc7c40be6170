#pragma once
// The look of a dialog on its real window. The dialog is painted into a
// picture that its real window shows: first its background, which its
// procedure may paint (kMsgEraseBackground; the button face otherwise), then
// each visible control, which paints itself on kMsgPaint. The standard
// controls look like this: a static control's text wraps, every "&" drawn,
// in the colours and on the brush its dialog gives (kMsgCtlColorStatic; the
// window text on the button face otherwise); a push button is a flat face with a frame, its
// caption centred with the "&" mnemonic underlined, a heavier frame when it
// is the default one, a dotted frame inside when it has the focus, greyed
// when disabled; a check box is a box, ticked or not, with its caption
// beside it.
#include "platform/window/window.h"

namespace platform::detail {

// Paints the dialog and shows the picture on its real window.
void PaintDialog(Window* dialog);
// The standard controls' painting on kMsgPaint (platform/window/dialog.cpp).
void PaintStaticControl(Window* control);
void PaintButtonControl(Window* control, bool checked, bool focused);

} // namespace platform::detail
