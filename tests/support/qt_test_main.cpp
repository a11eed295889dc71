// The main of test programs that need Qt's event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/isolated_environment.h"

int main(int argc, char** argv) {
  tw::testing::IsolateEnvironment();
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
