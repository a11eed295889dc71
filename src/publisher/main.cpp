// tarnwick-publish: writes and checks an update repository.
#include <iostream>
#include <string>
#include <vector>

#include "publisher/command.h"
#include "publisher/publish.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return tw::publisher::RunCommand(arguments, std::cout, std::cerr);
}
