// The automation start mode: the bus name first, then the program's own
// start-up (its self-update), then Global served on the session bus until
// no call has come for the idle time.
#pragma once

namespace tw {

struct EngineContext;
struct Environment;
class StartupHost;

// The process's exit code.
int RunAutomationMode(const Environment& env, EngineContext& ctx, StartupHost& program);

}  // namespace tw
