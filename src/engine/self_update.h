#pragma once

namespace tw {

struct EngineContext;

// Brings the suite's launcher ("{ESEGUIBILI}\Run") up to date in place, and
// puts a newer copy of the program's own executable beside it with the
// suffix ".update"; the running executable itself is never touched.
void SelfUpdate(EngineContext& ctx);

}  // namespace tw
