#pragma once
// Moved to tests/support/archive_bytes.h, shared with the render tests.
#include "tests/support/archive_bytes.h"
