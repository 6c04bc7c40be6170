#pragma once
// Screen and billboard quads: a mesh made a flat grid (see MeshResource::CreateQuad).
// Post passes make theirs the back buffer's size with one division and the
// half-pixel shift; billboards 1 x 1 without it. Prints "Quad created." once built.
#include <cstdint>

class MeshResource;

bool CreateQuadOfSize(MeshResource& mesh, float width, float height, uint32_t divisions, uint8_t halfPixel);
