#include "transport/network/socket_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "support/fault_server.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

using testing::Fault;
using testing::FaultServer;
using namespace std::chrono_literals;

// For sessions that end by what the host does: no guard can cut them short
// however slow the machine.
const SessionLimits kPatient{60000ms, 600000ms, 64 * 1024};
const std::string kReply =
    "HTTP/1.0 200 OK\r\nServer: prova\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";

struct Outcome {
  std::string reply;
  qint64 elapsed_ms;
};

Outcome RunSession(const FaultServer& server, SessionLimits limits = kPatient) {
  QElapsedTimer clock;
  clock.start();
  FormSCK session(limits);
  std::string reply = session.getInfoUrl("127.0.0.1", server.port(), "HEAD /a HTTP/1.0");
  EXPECT_EQ(session.State(), "");
  return {reply, clock.elapsed()};
}

TEST(SocketSession, SendsExactlyTheRequestLineAndTwoLineEnds) {
  FaultServer server(Fault::AnswerAndClose, kReply);
  EXPECT_EQ(RunSession(server).reply, kReply);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "HEAD /a HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server.Requests()[0].size(), 20u);
}

TEST(SocketSession, ChunksAreJoinedInArrivalOrder) {
  const std::string reply = kReply;
  FaultServer server(Fault::AnswerInChunks, reply);
  EXPECT_EQ(RunSession(server).reply, reply);
}

// Only the guard under test is short; whatever else could end a session
// is far away, so a busy machine cannot end it for another reason.
TEST(SocketSession, FailuresGiveNothingAndEndByTheirOwnGuard) {
  {
    // Ends at all only through the step guard: the session's limit is
    // minutes away.
    FaultServer silent(Fault::Silent);
    const Outcome o = RunSession(silent, SessionLimits{300ms, 600000ms, 64 * 1024});
    EXPECT_EQ(o.reply, "");
    EXPECT_GE(o.elapsed_ms, 250);
  }
  {
    FaultServer reset(Fault::Reset);
    EXPECT_EQ(RunSession(reset, SessionLimits{600000ms, 600000ms, 64 * 1024}).reply, "");
  }
  // Refused, on IPv4 and IPv6 loopback: ends without any guard.
  for (const char* address : {"127.0.0.1", "::1"}) {
    FormSCK session(SessionLimits{600000ms, 600000ms, 64 * 1024});
    EXPECT_EQ(session.getInfoUrl(address, FaultServer::ClosedPort(), "HEAD / HTTP/1.0"), "") << address;
  }
}

TEST(SocketSession, TricklingHostIsCutOffByTheSessionLimit) {
  // Each byte restarts the step guard, so only the session's limit ends it.
  FaultServer trickle(Fault::Trickle);
  const Outcome o = RunSession(trickle, SessionLimits{600000ms, 1500ms, 64 * 1024});
  EXPECT_EQ(o.reply, "");
  EXPECT_GE(o.elapsed_ms, 1400);
}

TEST(SocketSession, ReplyEndsAtItsBlankLineEvenWhenTheHostKeepsTheConnection) {
  FaultServer keep_open(Fault::KeepOpen, kReply);
  const Outcome o = RunSession(keep_open, SessionLimits{600000ms, 600000ms, 64 * 1024});
  EXPECT_EQ(o.reply, kReply);
}

// Connects before returning, as some systems do for a local host.
int ConnectAtOnce(int fd, const sockaddr* address, socklen_t length) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const int rc = ::connect(fd, address, length);
  ::fcntl(fd, F_SETFL, flags);
  return rc;
}

TEST(SocketSession, RequestTheSocketCannotTakeAtOnceIsSentHoweverTheConnectionWasMade) {
  // The host reads nothing at first, so the request fills the socket's
  // buffers and the rest must wait until the socket takes more.
  FaultServer slow_reader(Fault::SlowReader, kReply);
  const std::string line = "HEAD /" + std::string(16u << 20, 'a') + " HTTP/1.0";
  for (ConnectCall call : {ConnectCall(&::connect), ConnectCall(&ConnectAtOnce)}) {
    FormSCK session(SessionLimits{10000ms, 600000ms, 64 * 1024}, call);
    EXPECT_EQ(session.getInfoUrl("127.0.0.1", slow_reader.port(), line), kReply);
  }
  const auto requests = slow_reader.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) EXPECT_TRUE(request == line + "\r\n\r\n");
}

TEST(SocketSession, EndlessHeadersFailAtTheCap) {
  FaultServer huge(Fault::HugeHeaders, kReply);
  EXPECT_EQ(RunSession(huge).reply, "");
}

TEST(SocketSession, OtherHandlersRunWhileASessionWaits) {
  FaultServer slow(Fault::AnswerInChunks, kReply);
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
  ticker.start(10);
  // A second session started from inside the first one's wait.
  std::string nested;
  QTimer::singleShot(5, [&] {
    FormSCK inner(kPatient);
    nested = inner.getInfoUrl("127.0.0.1", slow.port(), "HEAD /b HTTP/1.0");
  });
  EXPECT_EQ(RunSession(slow).reply, kReply);
  EXPECT_EQ(nested, kReply);
  EXPECT_GT(ticks, 3);
}

TEST(HttpHead, PortOfTheLocationIsHonoured) {
  FaultServer server(Fault::AnswerAndClose, kReply);
  HttpTransport transport("127.0.0.1:" + std::to_string(server.port()) + "/Base", -60, kPatient);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  EXPECT_EQ(date, DateValue::FromCalendar(1994, 11, 6, 9, 49, 37));
  EXPECT_EQ(server.Requests().at(0), "HEAD /base/eseguibili/prog.exe HTTP/1.0\r\n\r\n");
}

TEST(HttpHead, FailedSessionLeavesTheDateAlone) {
  FaultServer reset(Fault::Reset);
  HttpTransport transport("127.0.0.1:" + std::to_string(reset.port()), 0, kPatient);
  DateValue date(123.0);
  EXPECT_FALSE(transport.HttpHead("/x", date));
  EXPECT_EQ(date.Serial(), 123.0);
}

}  // namespace
}  // namespace tw
