#include "transport/socket_session.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "support/fault_server.h"
#include "transport/http_transport.h"

namespace tw {
namespace {

using testing::Fault;
using testing::FaultServer;
using namespace std::chrono_literals;

const SessionLimits kFast{300ms, 1500ms, 64 * 1024};
const std::string kReply =
    "HTTP/1.0 200 OK\r\nServer: prova\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";

struct Outcome {
  std::string reply;
  qint64 elapsed_ms;
};

Outcome RunSession(const FaultServer& server, SessionLimits limits = kFast) {
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

TEST(SocketSession, FailuresGiveNothingWithinTheirBounds) {
  {
    FaultServer silent(Fault::Silent);
    const Outcome o = RunSession(silent);
    EXPECT_EQ(o.reply, "");
    EXPECT_GE(o.elapsed_ms, 250);
    EXPECT_LT(o.elapsed_ms, 1400);  // the step guard, not the session's limit
  }
  {
    FaultServer reset(Fault::Reset);
    EXPECT_EQ(RunSession(reset).reply, "");
  }
  {
    // Refused: ends at once, long before any guard.
    QElapsedTimer clock;
    clock.start();
    FormSCK session(SessionLimits{5000ms, 10000ms, 64 * 1024});
    EXPECT_EQ(session.getInfoUrl("127.0.0.1", FaultServer::ClosedPort(), "HEAD / HTTP/1.0"), "");
    EXPECT_LT(clock.elapsed(), 2000);
  }
  {
    FormSCK session(kFast);
    EXPECT_EQ(session.getInfoUrl("name.invalid", 80, "HEAD / HTTP/1.0"), "");
  }
}

TEST(SocketSession, TricklingHostIsCutOffByTheSessionLimit) {
  FaultServer trickle(Fault::Trickle);
  const Outcome o = RunSession(trickle);
  EXPECT_EQ(o.reply, "");
  EXPECT_GE(o.elapsed_ms, 1400);
  EXPECT_LT(o.elapsed_ms, 3000);
}

TEST(SocketSession, ReplyEndsAtItsBlankLineEvenWhenTheHostKeepsTheConnection) {
  FaultServer keep_open(Fault::KeepOpen, kReply);
  const Outcome o = RunSession(keep_open, SessionLimits{5000ms, 10000ms, 64 * 1024});
  EXPECT_EQ(o.reply, kReply);
  EXPECT_LT(o.elapsed_ms, 2000);
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
    FormSCK inner(kFast);
    nested = inner.getInfoUrl("127.0.0.1", slow.port(), "HEAD /b HTTP/1.0");
  });
  EXPECT_EQ(RunSession(slow).reply, kReply);
  EXPECT_EQ(nested, kReply);
  EXPECT_GT(ticks, 3);
}

TEST(HttpHead, PortOfTheLocationIsHonoured) {
  FaultServer server(Fault::AnswerAndClose, kReply);
  HttpTransport transport("127.0.0.1:" + std::to_string(server.port()) + "/Base", -60, kFast);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  EXPECT_EQ(date, DateValue::FromCalendar(1994, 11, 6, 9, 49, 37));
  EXPECT_EQ(server.Requests().at(0), "HEAD /base/eseguibili/prog.exe HTTP/1.0\r\n\r\n");
}

TEST(HttpHead, FailedSessionLeavesTheDateAlone) {
  FaultServer reset(Fault::Reset);
  HttpTransport transport("127.0.0.1:" + std::to_string(reset.port()), 0, kFast);
  DateValue date(123.0);
  EXPECT_FALSE(transport.HttpHead("/x", date));
  EXPECT_EQ(date.Serial(), 123.0);
}

}  // namespace
}  // namespace tw
