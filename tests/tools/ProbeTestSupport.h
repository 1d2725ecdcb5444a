#pragma once

#include <gtest/gtest.h>

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

// A failed run writes nothing to `out`; a usage error (exit 1) writes the
// usage to `err`, any other failure exactly the player's message.
inline void ExpectFailure(const ProbeRun& run, int exitCode, const std::string& message) {
  EXPECT_EQ(run.exitCode, exitCode);
  EXPECT_TRUE(run.out.empty());
  if (exitCode == probe::kExitUsage) {
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  } else {
    EXPECT_EQ(run.err, message);
  }
}

}  // namespace probetest
