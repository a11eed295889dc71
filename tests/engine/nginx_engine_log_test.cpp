// An automation call nobody watches: the modules it could not put in place
// and the paths it refused are in the administrators' log file below
// XDG_STATE_HOME, dated, with the system's error where there is one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "engine/disk_engine.h"
#include "engine/engine_log.h"
#include "engine/global.h"
#include "platform/log_file.h"
#include "platform/posix/posix_log_disk.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

TEST(NginxEngineLog, FailedModulesAndRefusedPathsAreInTheLogFile) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  testing::TempDir dir;
  const std::string state = dir / "stato";  // XDG_STATE_HOME
  const std::string suite = dir / "suite";
  std::filesystem::create_directories(suite + "/Dati/occupato.bin");  // a folder where the file goes
  nginx.Put("/dati/rifiutato.bin.ini", "[Release]\r\nSHA256=" + std::string(64, '0') + "\r\n");
  nginx.Put("/dati/rifiutato.bin", "altro contenuto", 1609502400);
  nginx.Put("/dati/occupato.bin.ini", "[Release]\r\n");
  nginx.Put("/dati/occupato.bin", "contenuto", 1609502400);

  HttpTransport transport(nginx.Location(), 0);
  testing::DiskEngine engine(suite, transport);
  PosixLogDisk disk;
  LogFile file(disk, LogFilePath([&](const char* name) {
    return std::string_view(name) == "XDG_STATE_HOME" ? state.c_str() : std::getenv(name);
  }));
  std::ostringstream err;
  EngineLog log(&file, [] { return DateValue::FromCalendar(2026, 12, 9, 3, 12, 40); }, &err, true);
  HearCatalogue(engine.catalogue, log);
  engine.ctx.log = &log;
  Global global(engine.ctx);

  EXPECT_FALSE(global.UpdateModule("{DATI}\\rifiutato.bin"));
  EXPECT_FALSE(global.UpdateModule("{DATI}\\occupato.bin"));
  EXPECT_TRUE(global.UpdateModule("{DATI}\\..\\..\\fuori.bin"));
  engine.catalogue.SetRefusalListener({});

  const std::string text = testing::ReadTextFile(dir / "stato/Velmora/Tarnwick/tarnwick.log");
  const std::string expected[] = {
      // A file its document does not vouch for, and one that could not
      // replace what is there: each with its error.
      "09/12/2026 03:12:40 - Errori durante il download del modulo [{DATI}\\rifiutato.bin: ",
      "09/12/2026 03:12:40 - Errori durante il download del modulo [{DATI}\\occupato.bin: ",
      "09/12/2026 03:12:40 - Modulo ignorato: il percorso non indica un file della suite "
      "[{DATI}\\..\\..\\fuori.bin]\n",
  };
  for (const std::string& line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_NE(text.find("occupato.bin: 21: "), std::string::npos) << text;
  // The journal hears the engine's own failures as errors.
  EXPECT_EQ(err.str().rfind("<3>Tarnwick: Errori durante il download del modulo [{DATI}\\rifiutato.bin: ", 0),
            0u)
      << err.str();
}

}  // namespace
}  // namespace tw
