// The automation server as the suite's programs meet it: started by a real
// session bus from its activation file, called over D-Bus, installing from
// a real web server.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/date_value.h"
#include "common/settings_keys.h"
#include "engine/automation_registration.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "publisher/signed_sample.h"
#include "support/dbus_daemon.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "pe_image/pe_image.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::ReadTextFile;
using testing::WriteTextFile;

constexpr long long kRepositoryTime = 1609502400;  // 2021-01-01 12:00:00 UTC

class AutomationOverDBus : public ::testing::Test {
 protected:
  void SetUp() override {
    // The services the bus starts inherit its environment.
    ::setenv("TARNWICK_AUTOMATION_IDLE_MS", "3000", 1);
    bus_ = std::make_unique<testing::DBusDaemon>();
    ASSERT_TRUE(bus_->running()) << "dbus-daemon could not be started";
    std::filesystem::create_directories(suite_ + "/Eseguibili");
    std::filesystem::copy_file(TARNWICK_EXECUTABLE, program_);
    ASSERT_EQ(Run({"--regserver"}), 0);
  }

  // A server still waiting for calls would outlive the test.
  void TearDown() override {
    if (bus_ && bus_->running()) EndServer(false);
  }

  // Ends the server the bus started, if any, and waits for its end.
  void EndServer(bool wait = true) {
    QDBusConnection connection = bus_->Connect("teardown");
    const QDBusReply<uint> pid = connection.interface()->servicePid("it.velmora.Tarnwick");
    if (!pid.isValid() || pid.value() == 0) return;
    const auto server = static_cast<pid_t>(pid.value());
    ::kill(server, SIGTERM);
    for (int i = 0; wait && i < 200 && ::kill(server, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }

  int Run(const QStringList& arguments, QString* errors = nullptr) {
    QProcess process;
    process.start(QString::fromStdString(program_), arguments);
    process.waitForFinished(20000);
    if (errors) *errors = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
  }

  void Configure(const std::string& location) {
    QtSettingsStore().Write(settings::kApplication, settings::kSection, settings::kRemoteHost, location);
  }

  // The sample suite published signed below `base`, and this user's
  // settings pointing at it with the publisher's key.
  testing::SignedSample ServeSignedSample(testing::NginxServer& nginx, const std::string& base) {
    testing::SignedSample sample(dir_, nginx.root() + base);
    EXPECT_EQ(sample.Publish(), "");
    Configure(nginx.Location(base));
    QtSettingsStore().Write(settings::kApplication, settings::kSection, settings::kPublicKey,
                            testing::PublicText(testing::TestKey(5)));
    return sample;
  }

  std::unique_ptr<QDBusInterface> Global(QDBusConnection& connection) {
    auto global = std::make_unique<QDBusInterface>("it.velmora.Tarnwick", "/Global",
                                                   "it.velmora.Tarnwick.Global", connection);
    global->setTimeout(10 * 60 * 1000);  // an update may take minutes
    return global;
  }

  testing::TempDir dir_;
  std::unique_ptr<testing::DBusDaemon> bus_;
  const std::string suite_ = dir_ / "Suite Velmora";
  const std::string program_ = suite_ + "/Eseguibili/Tarnwick";
};

TEST_F(AutomationOverDBus, WithoutARepositoryTheServerRefusesAndEnds) {
  QString errors;
  QElapsedTimer clock;
  clock.start();
  EXPECT_NE(Run({"--automation"}, &errors), 0);
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_TRUE(errors.contains("lanciare il programma Tarnwick dal gestore dei file")) << errors.toStdString();
}

TEST_F(AutomationOverDBus, TheBusStartsTheRegisteredServerOnTheFirstCall) {
  Configure("127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()));
  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;
  QDBusReply<QString> name = global.call("GetFullName");
  ASSERT_TRUE(name.isValid()) << name.error().message().toStdString();
  EXPECT_EQ(name.value().toStdString(), program_);
  QDBusReply<bool> unreachable = global.call("IsModuleAvailable", "{ESEGUIBILI}\\Prog");
  ASSERT_TRUE(unreachable.isValid());
  EXPECT_FALSE(unreachable.value());
  QDBusReply<bool> nothing_to_do = global.call("UpdateModule", "{ESEGUIBILI}\\Prog");
  EXPECT_TRUE(nothing_to_do.value());

  QDBusInterface introspectable("it.velmora.Tarnwick", "/Global", "org.freedesktop.DBus.Introspectable", connection);
  QDBusReply<QString> xml = introspectable.call("Introspect");
  EXPECT_TRUE(xml.value().contains("VELMORA - Motore di aggiornamento dei programmi installati"));
  EXPECT_TRUE(xml.value().contains("value=\"5.2\""));

  EXPECT_EQ(Run({"--unregserver"}), 0);
  PosixSystemInfo system("", program_, StartMode::Standalone);
  EXPECT_FALSE(std::filesystem::exists(ActivationFilePath(system)));
}

TEST_F(AutomationOverDBus, GetFullNameIsAnsweredWhileACallWaitsOnTheNetworkAndTheServerEndsWhenIdle) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  nginx.Put(base + "/eseguibili/prog", "prog", kRepositoryTime);
  testing::FaultServer gate(nginx.port(), "HEAD " + base + "/eseguibili/prog ");
  Configure("127.0.0.1:" + std::to_string(gate.port()) + base);
  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;
  QDBusReply<QString> started = global.call("GetFullName");
  ASSERT_TRUE(started.isValid()) << started.error().message().toStdString();

  QDBusPendingCall waiting = global.asyncCall("IsModuleAvailable", "{ESEGUIBILI}\\Prog");
  ASSERT_TRUE(gate.WaitUntilHolding(1));  // the call waits on the network
  QDBusReply<QString> quick = global.call("GetFullName");
  EXPECT_TRUE(quick.isValid()) << quick.error().message().toStdString();
  EXPECT_FALSE(waiting.isFinished());
  gate.Release();
  waiting.waitForFinished();
  EXPECT_TRUE(QDBusReply<bool>(waiting.reply()).value());

  // No call for the idle time: the server leaves the bus.
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gone = !connection.interface()->isServiceRegistered("it.velmora.Tarnwick").value();
  }
  EXPECT_TRUE(gone);
}

TEST_F(AutomationOverDBus, OverlappingUpdatesAreServedOneAfterTheOtherInArrivalOrder) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const std::string runs = dir_ / "post-setup-runs";
  nginx.Put(base + "/eseguibili/gestione.exe.ini",
            "[Release]\r\n[Setup]\r\nDopo={ESEGUIBILI}\\Dopo\r\n"
            "[PostSetup]\r\nDopo=\"{ESEGUIBILI}\\Dopo\"\r\n");  // the suite's path has a blank
  nginx.Put(base + "/eseguibili/gestione.exe", "gestione", kRepositoryTime);
  nginx.Put(base + "/eseguibili/dopo.ini", "[Release]\r\n");
  nginx.Put(base + "/eseguibili/dopo", "#!/bin/sh\necho run >> '" + runs + "'\n", kRepositoryTime);
  // The first call's download of the module waits until the second call is
  // in the server's hands.
  testing::FaultServer gate(nginx.port(), "GET " + base + "/eseguibili/gestione.exe ");
  Configure("127.0.0.1:" + std::to_string(gate.port()) + base);
  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;
  QDBusReply<QString> started = global.call("GetFullName");
  ASSERT_TRUE(started.isValid()) << started.error().message().toStdString();

  QDBusPendingCall first = global.asyncCall("UpdateModule", "{ESEGUIBILI}\\Gestione.exe");
  ASSERT_TRUE(gate.WaitUntilHolding(1));
  QDBusPendingCall second = global.asyncCall("UpdateModule", "{ESEGUIBILI}\\Gestione.exe");
  // The bus delivers one sender's calls in order: once this one is
  // answered, the second call has reached the server.
  ASSERT_TRUE(QDBusReply<QString>(global.call("GetFullName")).isValid());
  gate.Release();

  second.waitForFinished();
  EXPECT_TRUE(first.isFinished()) << "the later call was answered first";
  first.waitForFinished();
  ASSERT_TRUE(QDBusReply<bool>(first.reply()).isValid()) << first.error().message().toStdString();
  ASSERT_TRUE(QDBusReply<bool>(second.reply()).isValid()) << second.error().message().toStdString();
  EXPECT_TRUE(QDBusReply<bool>(first.reply()).value());
  EXPECT_TRUE(QDBusReply<bool>(second.reply()).value());

  const auto requests = gate.Requests();
  const auto downloads = std::count_if(requests.begin(), requests.end(), [&](const std::string& request) {
    return request.find("/eseguibili/gestione.exe HTTP") != std::string::npos && request.rfind("GET ", 0) == 0;
  });
  EXPECT_EQ(downloads, 1);
  EXPECT_EQ(ReadTextFile(suite_ + "/Eseguibili/Gestione.exe"), "gestione");
  EXPECT_EQ(ReadTextFile(runs), "run\n");
}

TEST_F(AutomationOverDBus, APostSetupProgramThatAsksTheServerIsAnsweredWhileItIsWaitedFor) {
  // A program of the suite run after its installation asks the updater for
  // its full name, as the suite's programs do, and ends once answered.
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const std::string answer = dir_ / "risposta.txt";
  nginx.Put(base + "/eseguibili/gestione.exe.ini", "[Release]\r\n[PostSetup]\r\n1=\"{ESEGUIBILI}\\Dopo\"\r\n");
  nginx.Put(base + "/eseguibili/gestione.exe", "gestione", kRepositoryTime);
  nginx.Put(base + "/eseguibili/dopo.ini", "[Release]\r\n");
  nginx.Put(base + "/eseguibili/dopo",
            "#!/bin/sh\n/usr/bin/dbus-send --session --print-reply --reply-timeout=20000 "
            "--dest=it.velmora.Tarnwick /Global it.velmora.Tarnwick.Global.GetFullName > '" + answer + "' 2>&1\n",
            kRepositoryTime);
  Configure(nginx.Location(base));

  QDBusConnection connection = bus_->Connect();
  auto global = Global(connection);
  QDBusReply<bool> dependency = global->call("UpdateModule", "{ESEGUIBILI}\\Dopo");
  ASSERT_TRUE(dependency.isValid()) << dependency.error().message().toStdString();
  QDBusReply<bool> updated = global->call("UpdateModule", "{ESEGUIBILI}\\Gestione.exe");
  ASSERT_TRUE(updated.isValid()) << updated.error().message().toStdString();
  EXPECT_TRUE(updated.value());
  EXPECT_NE(ReadTextFile(answer).find(program_), std::string::npos) << ReadTextFile(answer);
}

TEST_F(AutomationOverDBus, ARepositoryThatNeverAnswersDoesNotKeepTheBusWaitingForTheServer) {
  // A bus that waits three seconds for a started service instead of two
  // minutes: the server must take its name before it asks the repository.
  bus_.reset();
  bus_ = std::make_unique<testing::DBusDaemon>(3000);
  ASSERT_TRUE(bus_->running());
  testing::FaultServer silent(testing::Fault::Held, "HTTP/1.0 404 Not Found\r\n\r\n");
  Configure("127.0.0.1:" + std::to_string(silent.port()));
  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;

  QDBusPendingCall first = global.asyncCall("IsModuleAvailable", "{ESEGUIBILI}\\Prog");
  ASSERT_TRUE(silent.WaitUntilHolding(1));  // the self-update waits on the repository
  bool named = false;
  for (int i = 0; i < 200 && !named && !first.isFinished(); ++i) {
    named = connection.interface()->isServiceRegistered("it.velmora.Tarnwick").value();
    if (!named) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(named);
  // GetFullName needs nothing of the repository: answered meanwhile, well
  // within a client's time-out.
  QDBusInterface quick("it.velmora.Tarnwick", "/Global", "it.velmora.Tarnwick.Global", connection);
  quick.setTimeout(20000);
  QDBusReply<QString> name = quick.call("GetFullName");
  ASSERT_TRUE(name.isValid()) << name.error().message().toStdString();
  EXPECT_EQ(name.value().toStdString(), program_);
  // Nothing else is answered before the self-update has ended.
  EXPECT_FALSE(first.isFinished()) << first.error().message().toStdString();

  silent.Release();
  first.waitForFinished();
  QDBusReply<bool> reply = first.reply();
  ASSERT_TRUE(reply.isValid()) << reply.error().message().toStdString();
  EXPECT_FALSE(reply.value());
  EXPECT_TRUE(QDBusReply<QString>(global.call("GetFullName")).isValid());
}

TEST_F(AutomationOverDBus, EntriesThatLeaveTheSuiteAreNeitherInstalledNorRun) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const std::string marker = dir_ / "eseguito.txt";
  // Everything a confused client could reach is there to be taken.
  const std::string script = "#!/bin/sh\necho run >> '" + marker + "'\n";
  nginx.Put(base + "/eseguibili/gestione.exe.ini",
            "[Release]\r\n[Setup]\r\n1={ESEGUIBILI}\\..\\..\\fuori.txt\r\n2=/tmp/assoluto.txt\r\n"
            "3=senza_cartella.txt\r\n4={ESEGUIBILI}\\x@127.0.0.1\\y\r\n"
            "[PostSetup]\r\n1={ESEGUIBILI}\\..\\..\\male.sh\r\n");
  nginx.Put(base + "/eseguibili/gestione.exe", "gestione", kRepositoryTime);
  for (const char* path : {"/fuori.txt", "/fuori.txt.ini", "/male.sh", "/male.sh.ini", "/senza_cartella.txt.ini"})
    nginx.Put(base + path, path == std::string("/male.sh") ? script : std::string("[Release]\r\n"), kRepositoryTime);
  Configure(nginx.Location(base));

  QDBusConnection connection = bus_->Connect();
  auto global = Global(connection);
  QDBusReply<bool> updated = global->call("UpdateModule", "{ESEGUIBILI}\\Gestione.exe");
  ASSERT_TRUE(updated.isValid()) << updated.error().message().toStdString();
  EXPECT_TRUE(updated.value());
  QDBusReply<bool> outside = global->call("UpdateModule", "{ESEGUIBILI}\\..\\..\\fuori.txt");
  ASSERT_TRUE(outside.isValid());

  EXPECT_EQ(ReadTextFile(suite_ + "/Eseguibili/Gestione.exe"), "gestione");
  for (const std::string& path : {dir_ / "fuori.txt", std::string("/tmp/assoluto.txt"), dir_ / "male.sh",
                                  suite_ + "/senza_cartella.txt", suite_ + "/Eseguibili/senza_cartella.txt"})
    EXPECT_FALSE(std::filesystem::exists(path)) << path;
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(AutomationOverDBus, UpdateModuleInstallsAModuleAndItsDependencyFromTheWebServer) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const auto image = pe_image::BuildPeImage(3, 1, 0, 7);
  nginx.Put(base + "/eseguibili/gestione.exe.ini",
            "[Release]\r\nVersion=3.1.0.7\r\n[Setup]\r\nDati={DATI}\\Archivio.mdb\r\n");
  nginx.Put(base + "/eseguibili/gestione.exe", std::string(image.bytes.begin(), image.bytes.end()), kRepositoryTime);
  nginx.Put(base + "/dati/archivio.mdb.ini", "[Release]\r\n");
  nginx.Put(base + "/dati/archivio.mdb", "archivio", kRepositoryTime);
  // The launcher and the program itself are not in this repository.
  Configure(nginx.Location(base));

  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;
  QDBusReply<bool> available = global.call("IsUpdateAvailable", "{ESEGUIBILI}\\Gestione.exe");
  ASSERT_TRUE(available.isValid()) << available.error().message().toStdString();
  EXPECT_TRUE(available.value());
  QDBusReply<bool> updated = global.call("UpdateModule", "{ESEGUIBILI}\\Gestione.exe");
  ASSERT_TRUE(updated.isValid());
  EXPECT_TRUE(updated.value());

  PosixFileSystem disk;
  const std::string program = suite_ + "/Eseguibili/Gestione.exe";
  const std::string data = suite_ + "/Dati/Archivio.mdb";
  EXPECT_EQ(disk.FileVersion(program), "3.1.0.7");
  EXPECT_EQ(ReadTextFile(data), "archivio");
  EXPECT_EQ(disk.LastModified(program), kRepositoryTime);
  EXPECT_EQ(disk.LastModified(data), kRepositoryTime);
  QtSettingsStore settings;
  for (const std::string& path : {program, data})
    EXPECT_FALSE(settings.Read(settings::kApplication, settings::kLastModifiedSection, path, "").empty()) << path;

  QDBusReply<bool> again = global.call("IsUpdateAvailable", "{ESEGUIBILI}\\Gestione.exe");
  EXPECT_FALSE(again.value());
}

TEST_F(AutomationOverDBus, UnderAPublisherKeySignedModulesInstallAndATamperedFileDoesNot) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const testing::SignedSample sample = ServeSignedSample(nginx, base);
  // One byte of the grid component changes on its way.
  std::string grid = ReadTextFile(sample.repository + "/eseguibili/componenti/griglia.ocx");
  grid[grid.size() / 2] ^= 0x01;
  WriteTextFile(sample.repository + "/eseguibili/componenti/griglia.ocx", grid);

  QDBusConnection connection = bus_->Connect();
  auto global_object = Global(connection);
  QDBusInterface& global = *global_object;
  QDBusReply<bool> updated = global.call("UpdateModule", "{ESEGUIBILI}\\Prog.exe");
  ASSERT_TRUE(updated.isValid()) << updated.error().message().toStdString();
  EXPECT_TRUE(updated.value());
  EXPECT_EQ(ReadTextFile(suite_ + "/Eseguibili/Prog.exe"), ReadTextFile(sample.source + "/Eseguibili/Prog.exe"));
  EXPECT_EQ(ReadTextFile(suite_ + "/Dati/Archivio.mdb"), "archivio 1");

  QDBusReply<bool> tampered = global.call("UpdateModule", "{ESEGUIBILI}\\Componenti\\Griglia.ocx");
  ASSERT_TRUE(tampered.isValid());
  EXPECT_FALSE(tampered.value());
  EXPECT_FALSE(std::filesystem::exists(suite_ + "/Eseguibili/Componenti/Griglia.ocx"));
  EXPECT_FALSE(std::filesystem::exists(suite_ + "/Eseguibili/Componenti/Griglia.ocx.new"));
}

// Counted at the server, through calls to servers the bus starts one after
// another: with nothing changed a start asks for the index alone (a 304),
// and a changed module costs the index, its document and its file.
TEST_F(AutomationOverDBus, UnderTheIndexASecondServerWithNothingChangedSendsOneRequest) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const testing::SignedSample sample = ServeSignedSample(nginx, base);
  QDBusConnection connection = bus_->Connect();
  // Each call below meets a server of its own: the one before is ended.
  const auto call = [&](const char* method) {
    const QDBusReply<bool> reply = Global(connection)->call(method, "{ESEGUIBILI}\\Prog.exe");
    EXPECT_TRUE(reply.isValid()) << reply.error().message().toStdString();
    EndServer();
    return reply.isValid() && reply.value();
  };
  testing::RequestCounter requests(nginx, base);
  EXPECT_TRUE(call("UpdateModule"));
  EXPECT_EQ(ReadTextFile(suite_ + "/Dati/Archivio.mdb"), "archivio 1");
  requests.Sent();

  EXPECT_FALSE(call("IsUpdateAvailable"));
  EXPECT_EQ(requests.Sent(), 1u);
  EXPECT_TRUE(nginx.Requests().back().ends_with("/indice.ini HTTP/1.1 304")) << nginx.Requests().back();
  EXPECT_TRUE(call("UpdateModule"));
  EXPECT_EQ(requests.Sent(), 1u);

  testing::PutSuiteFile(sample.source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  ASSERT_EQ(sample.Publish(), "");
  EXPECT_TRUE(call("UpdateModule"));
  EXPECT_EQ(ReadTextFile(suite_ + "/Dati/Archivio.mdb"), "archivio 2");
  EXPECT_EQ(requests.Sent(), 3u);
}

}  // namespace
}  // namespace tw
