#pragma once
// The settings tests' fixture under the name other modules' tests use: a
// private home (see support/TestEnv.h).
#include "support/TestEnv.h"

namespace zyfar::test {

using TempDirTest = IsolatedHomeTest;

}  // namespace zyfar::test
