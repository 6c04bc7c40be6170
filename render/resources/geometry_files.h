#pragma once
// How mesh geometry is kept in resource files: the Serialize of vertex
// declarations, vertex buffers and index buffers (the nested items of a mesh
// file) refuses what would not fit: counts whose bytes overflow or pass the end
// of the file, declarations longer than a declaration holds, index values past
// the vertices.
#include <cstdint>
#include <string>

#include "render/resources/index_buffer.h"
#include "render/resources/vertex_buffer.h"
#include "render/resources/vertex_declaration.h"

class Archive;

// For readers of nested items: reports `why` as a damaged resource file and
// makes a reading archive count as damaged, so the load is refused.
void RefuseResourceRead(Archive& archive, const std::string& why);

// The bytes a reading archive still holds; writing archives report no limit.
uint64_t ArchiveBytesLeft(Archive& archive);
