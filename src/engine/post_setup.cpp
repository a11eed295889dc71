#include "engine/post_setup.h"

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/command_line.h"
#include "engine/engine_context.h"
#include "engine/suite_programs.h"
#include "platform/file_system.h"
#include "platform/system_info.h"
#include "resources/string_table.h"

namespace tw {
namespace {

std::vector<std::string> UpdaterFiles(EngineContext& ctx) {
  const char separator = ctx.paths.LocalSeparator();
  std::string running = ctx.system.ProgramFolder();
  if (running.empty() || running.back() != separator) running += separator;
  running += ctx.system.ExecutableName() + ctx.executable_suffix;
  const std::string kept = ctx.paths.ResolvePath("{ESEGUIBILI}\\Tarnwick" + ctx.executable_suffix, false);
  const std::string launcher = ctx.paths.ResolvePath("{ESEGUIBILI}\\Run" + ctx.executable_suffix, false);
  return {running, running + ".update", kept, kept + ".update", launcher};
}

std::string Bracketed(int id, std::string_view detail) {
  return std::string(LoadResString(id)) + " [" + std::string(detail) + "]";
}

}  // namespace

bool IsUpdaterProgram(EngineContext& ctx, std::string_view program) {
  const char separator = ctx.paths.LocalSeparator();
  for (const std::string& file : UpdaterFiles(ctx))
    if (SamePathText(program, file, separator) || ctx.files.SameFile(program, file)) return true;
  return false;
}

bool RunPostSetupProgram(EngineContext& ctx, std::string_view command_line, const std::string& started_marker) {
  const std::vector<std::string> argv = SplitCommandLine(command_line);
  if (argv.empty()) return false;
  if (IsUpdaterProgram(ctx, argv[0])) {
    ctx.catalogue.Report(Bracketed(820, command_line));
    return false;
  }
  if (!IsInsideSuite(ctx.paths, argv[0])) {
    ctx.catalogue.ReportRefusedPath(command_line);
    return false;
  }
  const int code = ctx.processes.RunAndWait(argv, -1, started_marker);
  if (code == 0) return true;
  ctx.catalogue.Report(Bracketed(824, std::string(command_line) + ": " + std::to_string(code)));
  return false;
}

}  // namespace tw
