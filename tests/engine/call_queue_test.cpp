#include "engine/call_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

// The bus hands calls in while an earlier call waits on the event loop: a
// call that submits further calls in the middle of its work plays that.
TEST(CallQueue, CallsArrivingDuringAWaitRunAfterItInArrivalOrder) {
  CallQueue queue;
  queue.Open();
  std::string log;
  int idle_told = 0;
  queue.OnIdle([&] { ++idle_told; });
  queue.Submit([&] {
    log += "A( ";
    queue.Submit([&] { log += "B "; });
    queue.Submit([&] {
      log += "C( ";
      queue.Submit([&] { log += "D "; });
      EXPECT_FALSE(queue.Idle());
      log += ")C ";
    });
    EXPECT_FALSE(queue.Idle());
    log += ")A ";
  });
  EXPECT_EQ(log, "A( )A B C( )C D ");
  // One drain, one idle notice: the idle timer never runs while calls wait.
  EXPECT_EQ(idle_told, 1);
  EXPECT_TRUE(queue.Idle());

  queue.Submit([&] { log += "E "; });
  EXPECT_EQ(log, "A( )A B C( )C D E ");
  EXPECT_EQ(idle_told, 2);
}

TEST(CallQueue, CallsWaitForTheStartUpAndThenRunInOrder) {
  CallQueue queue;
  std::string log;
  int idle_told = 0;
  queue.OnIdle([&] { ++idle_told; });
  queue.Submit([&] { log += "1 "; });
  queue.Submit([&] { log += "2 "; });
  EXPECT_EQ(log, "");
  EXPECT_FALSE(queue.Idle());
  EXPECT_EQ(idle_told, 0);
  queue.Open();
  EXPECT_EQ(log, "1 2 ");
  EXPECT_EQ(idle_told, 1);
  EXPECT_TRUE(queue.Idle());
}

TEST(CallQueue, OpeningAnEmptyQueueMakesItIdle) {
  CallQueue queue;
  EXPECT_FALSE(queue.Idle());
  bool told = false;
  queue.OnIdle([&] { told = true; });
  queue.Open();
  EXPECT_TRUE(told);
  EXPECT_TRUE(queue.Idle());
}

}  // namespace
}  // namespace tw
