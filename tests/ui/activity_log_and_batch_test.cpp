#include <gtest/gtest.h>

#include <ctime>

#include "ui/activity_log.h"
#include "ui/batch_command.h"

namespace tw {
namespace {

TEST(ActivityLogTest, EntriesAreStampedAndJoinedByOneLineBreak) {
  ActivityLog log;
  const DateValue morning = DateValue::FromCalendar(2026, 3, 4, 7, 8, 9);
  EXPECT_EQ(log.Add("Inizio procedura di aggiornamento", morning),
            "04/03/2026 07:08:09 - Inizio procedura di aggiornamento");
  EXPECT_EQ(log.Text(), "04/03/2026 07:08:09 - Inizio procedura di aggiornamento");
  log.Add("", morning);
  log.Add("riga uno\r\nriga due", DateValue::FromCalendar(2026, 12, 31, 23, 59, 59));
  log.Add("ultima", morning);
  EXPECT_EQ(log.Text(),
            "04/03/2026 07:08:09 - Inizio procedura di aggiornamento\r\n"
            "04/03/2026 07:08:09 - \r\n"
            "31/12/2026 23:59:59 - riga uno\r\nriga due\r\n"
            "04/03/2026 07:08:09 - ultima");
}

TEST(ActivityLogTest, TheSystemClockReadsTheLocalCalendar) {
  const auto fields = [](std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &local);
    return std::string(text);
  };
  // Read between two readings of the C library, it matches one of them.
  const std::string before = fields(std::time(nullptr));
  const std::string now = SystemClock().local_now().FormatLogStamp();
  const std::string after = fields(std::time(nullptr));
  EXPECT_TRUE(now == before || now == after) << now;
}

TEST(BatchCommandTest, SplitsAtTheFirstBlankAfterTheFirstDot) {
  // "program|arguments"
  const auto split = [](std::string_view command) {
    const BatchLaunch launch = SplitBatchCommand(command);
    return launch.program + "|" + launch.arguments;
  };
  EXPECT_EQ(split("C:\\Velmora\\Gestione.exe /a  /b"), "C:\\Velmora\\Gestione.exe|/a  /b");
  EXPECT_EQ(split("C:\\Programmi Velmora\\Cartella Dati\\Gestione.exe"),
            "C:\\Programmi Velmora\\Cartella Dati\\Gestione.exe|");
  EXPECT_EQ(split("C:\\Velmora.Suite\\Cartella Dati\\Gestione.exe"), "C:\\Velmora.Suite\\Cartella|Dati\\Gestione.exe");
  EXPECT_EQ(split(""), "|");
  EXPECT_EQ(split("   "), "|");
  EXPECT_EQ(split("  run.sh   -x "), "run.sh|-x");
}

}  // namespace
}  // namespace tw
