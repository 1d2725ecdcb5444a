#include <iostream>
#include <string>
#include <vector>

#include "app/AppVersionInfo.h"
#include "platform/TextConv.h"
#include "tools/play/PlayOptions.h"
#include "tools/play/PlaySession.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  play::PlayOptions options;
  std::string error;
  if (!play::ParsePlayOptions(args, &options, &error)) {
    std::cerr << "quorelle-play: " << error << "\n" << play::kUsage;
    return play::kExitUsage;
  }
  if (options.help) {
    std::cout << play::kUsage;
    return play::kExitOk;
  }
  if (options.version) {
    std::cout << "quorelle-play " << platform::ToUtf8(CAppVersionInfo().fileVersion) << "\n";
    return play::kExitOk;
  }
  if (options.listDevices) return play::ListDevices(options, std::cout);
  if (options.files.empty() && options.cdDevice.empty()) {
    std::cerr << "quorelle-play: no file to play\n" << play::kUsage;
    return play::kExitUsage;
  }
  return play::RunPlay(options, std::cout, std::cerr);
}
