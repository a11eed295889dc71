// The main of test programs without Qt.
#include <gtest/gtest.h>

#include "support/isolated_environment.h"

int main(int argc, char** argv) {
  tw::testing::IsolateEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
