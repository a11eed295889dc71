#include "transport/head_reply.h"

#include <gtest/gtest.h>

#include "transport/repository_location.h"

namespace tw {
namespace {

const DateValue kDate = DateValue::FromCalendar(1994, 11, 6, 8, 49, 37);

TEST(HeadReply, StatusAndLastModifiedBothCount) {
  HeadReply r = ScanHeadReply("HTTP/1.1 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", 0);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.last_modified, kDate);

  r = ScanHeadReply("HTTP/1.1 404 Not Found\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", 0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.last_modified, kDate);

  r = ScanHeadReply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", 0);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.last_modified.has_value());

  EXPECT_FALSE(ScanHeadReply("", 0).ok);
  EXPECT_FALSE(ScanHeadReply("HTTP/1.0\r\nLast-Modified: x\r\n\r\n", 0).ok);
  EXPECT_FALSE(ScanHeadReply("HTTP/1.0  200 OK\r\nLast-Modified: x\r\n\r\n", 0).ok);
}

TEST(HeadReply, LowerCaseLineIsFoundButItsNamesAreNotDates) {
  const HeadReply r = ScanHeadReply("HTTP/1.0 200 OK\nlast-modified: sun, 06 nov 1994 08:49:37 gmt\n\n", 0);
  EXPECT_TRUE(r.ok);
  ASSERT_TRUE(r.last_modified.has_value());
  EXPECT_TRUE(r.last_modified->IsZero());
  // " gmt" is mended to " GMT" before the date is read.
  EXPECT_EQ(ScanHeadReply("HTTP/1.0 200 OK\nLAST-MODIFIED:   Sun, 06 Nov 1994 08:49:37 gmt  \n\n", 0)
                .last_modified,
            kDate);
}

TEST(HeadReply, OnlyTheRealHeaderInTheHeaderBlockCounts) {
  const HeadReply r = ScanHeadReply(
      "HTTP/1.0 200 OK\r\nX-Last-Modified: Mon, 01 Jan 2001 00:00:00 GMT\r\n"
      "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", 0);
  EXPECT_EQ(r.last_modified, kDate);
  const HeadReply body_only = ScanHeadReply(
      "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n", 0);
  EXPECT_FALSE(body_only.last_modified.has_value());
  EXPECT_FALSE(body_only.ok);
  // A last line without its line end is not examined.
  EXPECT_FALSE(ScanHeadReply("HTTP/1.0 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT", 0)
                   .last_modified.has_value());
}

TEST(HeadReply, CompletenessIsTheBlankLine) {
  EXPECT_FALSE(HeadReplyComplete("HTTP/1.0 200 OK\r\nA: b\r\n"));
  EXPECT_TRUE(HeadReplyComplete("HTTP/1.0 200 OK\r\nA: b\r\n\r\n"));
  EXPECT_TRUE(HeadReplyComplete("HTTP/1.0 200 OK\nA: b\n\n"));
}

TEST(RepositoryLocation, HostPortAndBasePath) {
  RepositoryLocation l = SplitLocation("Server/Base");
  EXPECT_EQ(l.host, "Server");
  EXPECT_EQ(l.port, 80);
  EXPECT_EQ(HeadRequestLine(l, "/Eseguibili/Prog.exe"), "HEAD /base/eseguibili/prog.exe HTTP/1.0");
  l = SplitLocation("server");
  EXPECT_EQ(l.base_path, "");
  EXPECT_EQ(HeadRequestLine(l, "/TestServer.html"), "HEAD /testserver.html HTTP/1.0");
  l = SplitLocation("server:8080/base/x");
  EXPECT_EQ(l.host, "server");
  EXPECT_EQ(l.port, 8080);
  EXPECT_EQ(l.base_path, "/base/x");
  l = SplitLocation("[::1]:81");
  EXPECT_EQ(l.host, "::1");
  EXPECT_EQ(l.port, 81);
  EXPECT_EQ(SplitLocation("server:http/x").port, 0);
  EXPECT_EQ(SplitLocation("server:99999").port, 0);
}

TEST(RepositoryLocation, TargetsEscapeOnlyWhatCannotStandInThem) {
  const RepositoryLocation l = SplitLocation("server");
  EXPECT_EQ(RequestPath(l, "/dati/utenti{pcid}/Mio File.ini"), "/dati/utenti{pcid}/mio%20file.ini");
  EXPECT_EQ(RequestPath(l, "/dati/Città"), "/dati/citt%C3%A0");
  EXPECT_EQ(GetUrl("Server:8080/Base", "/Eseguibili/A B.exe"), "http://server:8080/base/eseguibili/a%20b.exe");
  EXPECT_EQ(GetUrl("server", "/dati/utenti{pcid}/a.ini"), "http://server/dati/utenti{pcid}/a.ini");
  EXPECT_EQ(GetUrl("[::1]:81/b", "/x"), "http://[::1]:81/b/x");
}

TEST(RepositoryLocation, NoPathCanNameAnotherHostAQueryOrAnEscape) {
  // Glued onto the location, each of these made a request to another host
  // or for another file.
  EXPECT_EQ(GetUrl("server:8080", "@altro.example/x"), "http://server:8080/@altro.example/x");
  EXPECT_EQ(GetUrl("server", "@altro.example:81/x"), "http://server/@altro.example:81/x");
  EXPECT_EQ(GetUrl("server/base", "/a?b=1#c"), "http://server/base/a%3fb=1%23c");
  EXPECT_EQ(GetUrl("server/base", "/%2e%2e/x"), "http://server/base/%252e%252e/x");
  EXPECT_EQ(GetUrl("server", "x"), "http://server/x");
  // The HEAD's target is escaped alike; the administrator's base path keeps
  // its own escapes.
  EXPECT_EQ(HeadRequestLine(SplitLocation("server/my%20base"), "/a?b#%41"),
            "HEAD /my%20base/a%3Fb%23%2541 HTTP/1.0");
  // A location that is no host gives no URL, and the request fails.
  EXPECT_EQ(GetUrl("utente@altro.example/base", "/x"), "");
  EXPECT_EQ(GetUrl("server:99999", "/x"), "");
  EXPECT_EQ(GetUrl("", "/x"), "");
}

}  // namespace
}  // namespace tw
