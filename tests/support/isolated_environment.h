#pragma once

#include <string>

namespace tw::testing {

// Points HOME and XDG_* at a fresh folder of this process (removed at its
// end), keeps loopback traffic off any proxy and Qt off the display. Test
// mains call it first, so a test run by hand is as isolated as under ctest.
void IsolateEnvironment();

// The folder HOME now points at.
const std::string& IsolatedHome();

}  // namespace tw::testing
