#pragma once
// Runs work as on a file system that cannot hold a file without a name: in a
// child process whose opening of an unnamed file (O_TMPFILE) fails with
// EOPNOTSUPP, as such a file system makes it fail. Nothing else changes.
#include <functional>

namespace platform::testing {

// The exit code of `work` run so in a child process (its return value), or
// -1 when the child could not be made or did not end by returning.
int RunWithoutUnnamedFiles(const std::function<int()>& work);

} // namespace platform::testing
