// The sample suite published by `tarnwick-publish` with the test key into a
// web server's folder, for tests that count what a keyed client sends.
#pragma once

#include <sstream>
#include <string>

#include "publisher/command.h"
#include "publisher/sample_suite.h"

namespace tw::testing {

struct SignedSample {
  // The suite under `dir`/fonte, Prog.exe depending on Archivio.mdb.
  SignedSample(const TempDir& dir, std::string repository_folder)
      : source(dir / "fonte"),
        key_file(WriteKeyFile(dir, "chiave.pem", TestKey(5))),
        store(dir / "archivio"),
        repository(std::move(repository_folder)) {
    BuildSampleSuite(source);
    PutSuiteFile(source + "/tarnwick-moduli.ini", "[eseguibili/prog.exe]\r\nSetup.1={DATI}\\Archivio.mdb\r\n");
  }

  // Publishes the suite as it stands; the publisher's errors, "" when none.
  std::string Publish() const {
    std::ostringstream out, err;
    const int status =
        publisher::RunCommand({"publish", source, repository, "--key", key_file, "--store", store}, out, err);
    return status == 0 ? std::string() : "publish: " + err.str();
  }

  std::string source, key_file, store, repository;
};

}  // namespace tw::testing
