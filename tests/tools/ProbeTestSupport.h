#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tools/probe/Probe.h"

namespace probetest {

struct ProbeRun {
  int exitCode;
  std::string out, err;
};

inline ProbeRun Probe(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = probe::RunProbe(args, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace probetest
