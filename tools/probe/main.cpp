#include <iostream>
#include <string>
#include <vector>

#include "tools/probe/Probe.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return probe::RunProbe(args, std::cout, std::cerr);
}
