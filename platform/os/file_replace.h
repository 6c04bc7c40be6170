#pragma once
// Replacing a file's contents whole: the bytes are written beside the file and
// renamed over it, so a reader sees the old contents or the new, never half.
// Where the file system allows, they are written into a file without a name
// that gets one only once complete; a writer killed before the rename may
// leave "<file>.tmp<pid>" beside the file, which the next replacement of that
// file removes once that process no longer runs.
#include <string>
#include <string_view>

namespace platform {

// False when the bytes could not be written or the rename failed; the file is
// then as it was and nothing is left beside it.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

} // namespace platform
