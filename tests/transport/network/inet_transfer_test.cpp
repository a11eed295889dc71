#include "transport/network/inet_transfer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "support/fault_server.h"

namespace tw {
namespace {

using testing::Fault;
using testing::FaultServer;

std::string Url(const FaultServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port()) + "/file";
}

// A silent server ends a transfer at its bound, not at the default minute:
// a stalled body at the low-speed bound, a document's reply that never
// begins at the first-byte bound (no longer than a HEAD waits).
TEST(InetTransfer, ASilentServerEndsTheTransferAtItsBound) {
  struct Case {
    const char* name;
    long TransferLimits::*bound;
    DataType type;
  } cases[] = {{"stalled body", &TransferLimits::low_speed_seconds, DataType::Bytes},
               {"reply never begins", &TransferLimits::first_byte_seconds, DataType::Text}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultServer silent(Fault::Silent);
    TransferLimits limits;
    limits.*c.bound = 1;
    Inet inet(limits);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(inet.OpenURL(Url(silent), c.type));
    EXPECT_LT(clock.elapsed(), 30000);
  }
}

TEST(InetTransfer, LyingLengthCannotMakeItReserveGigabytes) {
  const std::string body(1000, 'x');
  FaultServer liar(Fault::AnswerAndClose,
                   "HTTP/1.0 200 OK\r\nContent-Length: 10000000000\r\n\r\n" + body);
  TransferLimits limits;
  limits.reserve_ahead = 1u << 20;
  Inet inet(limits);
  EXPECT_FALSE(inet.OpenURL(Url(liar), DataType::Bytes));  // cut short of its length
  const ByteBuffer received = inet.TakeBody();
  EXPECT_EQ(received.size(), body.size());
  EXPECT_LE(received.capacity(), body.size() + (1u << 20));
}

TEST(InetTransfer, EventsRunWhileTheTransferWaitsAndTheFinalHeadersCount) {
  FaultServer slow(Fault::AnswerInChunks,
                   "HTTP/1.0 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                   "Content-Length: 5\r\n\r\nciao!");
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
  ticker.start(10);
  Inet inet;
  ASSERT_TRUE(inet.OpenURL(Url(slow), DataType::Text));
  EXPECT_EQ(inet.Status(), 200);
  EXPECT_EQ(inet.TakeBody().view(), "ciao!");
  EXPECT_EQ(inet.GetHeader("last-modified"), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(inet.GetHeader("X-Assente"), "");
  EXPECT_GT(ticks, 3);
}

TEST(InetTransfer, AHeadersValueLosesTheBlanksAndTabsAroundIt) {
  FaultServer server(Fault::AnswerAndClose,
                     "HTTP/1.0 200 OK\r\nLast-Modified:\t Sun, 06 Nov 1994 08:49:37 GMT \t\r\n"
                     "Content-Length: 2\r\n\r\nok");
  Inet inet;
  ASSERT_TRUE(inet.OpenURL(Url(server), DataType::Text));
  EXPECT_EQ(inet.GetHeader("Last-Modified"), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(InetTransfer, ProxyVariablesDoNotTakeLoopbackTraffic) {
  // The tests run with no_proxy for 127.0.0.1: a proxy that does not exist
  // must not matter.
  ::setenv("http_proxy", "http://127.0.0.1:9", 1);
  FaultServer server(Fault::AnswerAndClose, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
  Inet inet;
  EXPECT_TRUE(inet.OpenURL(Url(server), DataType::Text));
  ::unsetenv("http_proxy");
}

}  // namespace
}  // namespace tw
