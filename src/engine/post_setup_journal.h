// The post-setup programs of newly installed modules that have not run
// yet. They are recorded, durably, before the module is put in place and
// each is removed once it has run, so that a run cut short by a crash, a
// kill or "Annulla" leaves them to the next start instead of losing them.
// Every start that can run programs runs the pending ones first.
//
// Each program is started with a marker file of its entry, made by the new
// process just before the program replaces it: an entry whose marker
// exists was started by a run that then died (while the program ran, or
// before its entry was removed), and is dropped instead of run again. So
// each program runs once, whatever moment a kill hits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct EngineContext;

// Records the programs of the module whose local file is `module`, after
// those already pending (a program pending in any letter case is not added
// again), and makes the record durable.
void RecordPostSetups(EngineContext& ctx, std::string_view module, const std::vector<std::string>& programs);

// Drops the programs recorded for `module`: it was not put in place after
// all.
void ForgetPostSetups(EngineContext& ctx, std::string_view module);

// The pending programs' command lines, in the order they were recorded.
std::vector<std::string> PendingPostSetups(EngineContext& ctx);

// Runs the pending programs one after another, each waited for and then
// removed. A program whose module is not on the disk (a run that died
// before putting it in place) is dropped unrun: the next installation
// records it again. A program that fails is logged and dropped.
void RunPendingPostSetups(EngineContext& ctx);

// Runs one recorded program, as RunPendingPostSetups would, and removes
// it; false, and nothing run, while another process has the turn to run
// pending programs (that one runs it).
bool RunRecordedPostSetup(EngineContext& ctx, std::string_view command_line);

}  // namespace tw
