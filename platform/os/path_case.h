#pragma once
// Paths as the platform's file system takes them: a name does not depend on
// letter case there. A path whose exact name is missing here is found
// through the names its folders hold in another case, one part at a time.
#include <string>

namespace platform::os {

// `path` itself when it exists; else the path whose every part that is
// missing is a name its folder holds that differs only in letter case (of
// several, the first in byte order); "" when there is none.
std::string FindPathIgnoringCase(const std::string& path);

} // namespace platform::os
