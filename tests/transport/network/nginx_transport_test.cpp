#include <gtest/gtest.h>

#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "transport/network/http_async_repository.h"
#include "transport/network/http_transport.h"

#include <QTimer>

namespace tw {
namespace {

using testing::NginxServer;

constexpr long long kFileTime = 784111777;  // 1994-11-06 08:49:37 UTC

class NginxTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx().running()) << "nginx could not be started";
    base_ = nginx().FreshBase();
  }
  NginxServer& nginx() { return NginxServer::Shared(); }
  HttpTransport Transport(int bias = 0) { return HttpTransport(nginx().Location(base_), bias); }

  std::string base_;
};

TEST_F(NginxTransport, HeadOfPresentAndAbsentFiles) {
  nginx().Put(base_ + "/eseguibili/prog.exe", "MZ...", kFileTime);
  HttpTransport transport = Transport(-60);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  EXPECT_EQ(date, DateValue::FromCalendar(1994, 11, 6, 9, 49, 37));
  DateValue untouched(5.0);
  EXPECT_FALSE(transport.HttpHead("/eseguibili/assente.exe", untouched));
  EXPECT_EQ(untouched.Serial(), 5.0);
}

TEST_F(NginxTransport, GetInTextAndByteMode) {
  nginx().Put(base_ + "/eseguibili/prog.exe.ini", "[Release]\r\nVersion=1.2\r\nNome=Citt\xE0\r\n", kFileTime);
  const std::string binary("\x00\x01\xFF\xFE rest", 9);
  nginx().Put(base_ + "/eseguibili/prog.exe", binary, kFileTime);
  HttpTransport transport = Transport();
  DateValue date;
  EXPECT_EQ(transport.HttpGetText("/eseguibili/prog.exe.ini", date),
            "[Release]\r\nVersion=1.2\r\nNome=Città\r\n");
  EXPECT_EQ(date, DateValue::FromCalendar(1994, 11, 6, 8, 49, 37));
  const ByteBuffer bytes = transport.HttpGetBytes("/Eseguibili/PROG.EXE", date);
  EXPECT_EQ(bytes.view(), binary);
  EXPECT_EQ(transport.URL(), "http://" + nginx().Location(base_));
}

TEST_F(NginxTransport, MissingFilesAndRefusedConnectionsGiveTheDefaults) {
  HttpTransport transport = Transport();
  DateValue date(7.0);
  EXPECT_EQ(transport.HttpGetText("/assente.ini", date), "");
  const ByteBuffer missing = transport.HttpGetBytes("/assente.exe", date);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing.data()[0], 0);
  EXPECT_EQ(date.Serial(), 7.0);

  HttpTransport refused("127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()), 0);
  EXPECT_EQ(refused.HttpGetText("/a.ini", date), "");
  EXPECT_EQ(refused.HttpGetBytes("/a.exe", date).size(), 1u);
  EXPECT_FALSE(refused.HttpHead("/a.exe", date));
}

TEST_F(NginxTransport, NamesWithBlanksAndRedirects) {
  nginx().Put(base_ + "/dati/mio file.txt", "contenuto", kFileTime);
  HttpTransport transport = Transport();
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Dati/Mio File.txt", date));
  EXPECT_EQ(transport.HttpGetText("/Dati/Mio File.txt", date), "contenuto");
  HttpTransport redirected(nginx().Location("/redirect" + base_), 0);
  EXPECT_EQ(redirected.HttpGetText("/dati/mio file.txt", date), "contenuto");
}

TEST_F(NginxTransport, BodiesBeyondTheirBoundsFail) {
  nginx().Put(base_ + "/grande.ini", std::string(17u << 20, 'a'));
  HttpTransport transport = Transport();
  DateValue date;
  EXPECT_EQ(transport.HttpGetText("/grande.ini", date), "");
  EXPECT_EQ(transport.HttpGetBytes("/grande.ini", date).size(), 17u << 20);

  // Bytes held in memory stop at the download bound, as streamed ones do.
  nginx().Put(base_ + "/eseguibili/grande.exe", std::string(8192, 'a'));
  TransferLimits limits;
  limits.max_download = 4096;
  HttpTransport bounded(nginx().Location(base_), 0, {}, limits);
  EXPECT_EQ(bounded.HttpGetBytes("/eseguibili/grande.exe", date).size(), 1u);
  limits.max_download = 8192;
  HttpTransport enough(nginx().Location(base_), 0, {}, limits);
  EXPECT_EQ(enough.HttpGetBytes("/eseguibili/grande.exe", date).size(), 8192u);
}

// A handler that runs while one wait is under way may wait in turn (a
// window's refresh during a walk) and take the answer the first wait was
// for: the first wait must still end.
TEST_F(NginxTransport, AWaitInsideAnotherWaitLeavesTheOuterOneFree) {
  nginx().Put(base_ + "/a.ini", "[Release]\r\n");
  nginx().Put(base_ + "/b.ini", "[Release]\r\n");
  HttpAsyncRepository repository(nginx().Location(base_), 0, {}, {});
  bool a = false, b = false, rescued = false;
  QObject timers;  // its timers go with the test
  repository.StartGetText("/a.ini", [&](std::string) { a = true; });
  QTimer::singleShot(0, &timers, [&] {
    repository.StartGetText("/b.ini", [&](std::string) { b = true; });
    while (!b && repository.InFlight() > 0) repository.WaitForAny();
  });
  // Without the mend the outer wait never ends; a late request ends it.
  QTimer::singleShot(5000, &timers, [&] {
    rescued = true;
    repository.StartGetText("/a.ini", [](std::string) {});
  });
  while (!a && repository.InFlight() > 0) repository.WaitForAny();
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
  EXPECT_FALSE(rescued);
}

// A server that sends a document a byte a second passes any speed bound a
// slow link needs; the document's own bound on time ends it.
TEST(TricklingServer, ADocumentEndsAtItsTimeBound) {
  testing::FaultServer trickle(testing::Fault::TrickleBody, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
  TransferLimits limits;
  limits.low_speed_bytes = 1;
  limits.text_seconds = 2;
  HttpTransport transport("127.0.0.1:" + std::to_string(trickle.port()), 0, {}, limits);
  DateValue date;
  EXPECT_EQ(transport.HttpGetText("/lento.ini", date), "");
}

// The index is asked with the validators of the copy held: nginx answers
// 304 to either, 200 with fresh ones once the file changed, and a silent
// repository is no answer at all once the first byte is overdue.
TEST_F(NginxTransport, ConditionalGetsAnswer304ForTheCopyHeldAndNothingWhenSilent) {
  nginx().Put(base_ + "/indice.ini", "[Index]\r\n", kFileTime);
  HttpTransport transport = Transport();
  const RawReply first = transport.HttpGetConditional("/indice.ini", {});
  ASSERT_EQ(first.status, 200);
  EXPECT_EQ(first.body, "[Index]\r\n");
  ASSERT_FALSE(first.validators.etag.empty());
  EXPECT_EQ(first.validators.last_modified, "Sun, 06 Nov 1994 08:49:37 GMT");

  const struct {
    const char* what;
    Validators ask;
    long status;
  } asks[] = {
      {"etag", {first.validators.etag, ""}, 304},
      {"date", {"", first.validators.last_modified}, 304},
      {"both", first.validators, 304},
      {"another etag", {"\"altro\"", ""}, 200},
  };
  for (const auto& ask : asks) {
    SCOPED_TRACE(ask.what);
    EXPECT_EQ(transport.HttpGetConditional("/indice.ini", ask.ask).status, ask.status);
  }
  nginx().Put(base_ + "/indice.ini", "[Index]\r\nSerial=2\r\n", kFileTime + 60);
  const RawReply changed = transport.HttpGetConditional("/indice.ini", first.validators);
  EXPECT_EQ(changed.status, 200);
  EXPECT_EQ(changed.body, "[Index]\r\nSerial=2\r\n");
  EXPECT_NE(changed.validators.etag, first.validators.etag);

  testing::FaultServer silent(testing::Fault::Silent);
  TransferLimits limits;
  limits.first_byte_seconds = 1;
  HttpTransport unanswered("127.0.0.1:" + std::to_string(silent.port()), 0, {}, limits);
  EXPECT_EQ(unanswered.HttpGetConditional("/indice.ini", first.validators).status, 0);
}

}  // namespace
}  // namespace tw
