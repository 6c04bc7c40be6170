#pragma once
// Baking a curve into a one-row A32B32G32R32F texture, so that a shader reads
// the curve by texture lookup: texel i holds the curve at i x (last key time /
// width) as red, green, blue, alpha = x, y, z, w. The texels are written into a
// system-memory staging texture and copied into the destination, a render
// texture in video memory. Render thread.
#include "render/textures/texture_resource.h"
#include "render/world/curve.h"

// Makes `destination` a new render texture of the width truncated to whole
// texels, filled with the curve sampled from time 0 on in steps of its last
// key time / width. Failures are reported on the error stream ("LockRect
// failed.", "UnlockRect failed.", "UpdateTexture failed. ..."); a staging
// texture that cannot be locked ends the bake with the destination untouched.
void BakeCurveTexture(CurveResource* curve, TextureResource* destination, float width);
