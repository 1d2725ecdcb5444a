// `cmake --install` of this build into an empty folder: the programs with
// everything they load beside them, links to them in bin, the desktop entry,
// the icons and the manual pages made from the programs' help; the installed
// probe finds the installed plug-in. And the Debian package CPack makes of
// the same tree, unpacked and played from.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fixtures/DeviceSamples.h"
#include "tests/fixtures/WavWriter.h"

namespace {

namespace fs = std::filesystem;

struct CommandRun {
  int exitCode = -1;
  std::string output;  // stdout and stderr
};

CommandRun RunCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    run.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of the first `key=` line of an INI-style file; empty when none.
std::string Value(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// Width and height from a PNG file's header chunk; zeros when it is none.
std::pair<std::uint32_t, std::uint32_t> PngSize(const fs::path& path) {
  const std::string bytes = ReadText(path);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
      bytes.compare(12, 4, "IHDR") != 0) {
    return {0, 0};
  }
  auto big = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
      value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
  };
  return {big(16), big(20)};
}

const std::vector<std::string> Programs() {
  return Split(QP_INSTALLED_PROGRAMS, ',');
}

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new fixtures::TempDir;
    install_ =
        new CommandRun(RunCommand(Quoted(QP_CMAKE_COMMAND) + " --install " + Quoted(QP_BUILD_DIR) +
                                  " --prefix " + Quoted(prefix_->path())));
  }
  static void TearDownTestSuite() {
    delete install_;
    delete prefix_;
  }
  void SetUp() override { ASSERT_EQ(install_->exitCode, 0) << install_->output; }

  static fs::path Installed(const std::string& relative) {
    return fs::path(prefix_->path()) / relative;
  }

  static inline fixtures::TempDir* prefix_ = nullptr;
  static inline CommandRun* install_ = nullptr;
};

TEST_F(InstallTest, TheProgramsAndWhatTheyLoadLiveTogether) {
  ASSERT_FALSE(Programs().empty());
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    const fs::path binary = Installed("lib/quorelle/" + program);
    const fs::path link = Installed("bin/" + program);
    EXPECT_EQ(access(binary.c_str(), X_OK), 0);
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << "the tree may move as a whole";
    EXPECT_EQ(fs::canonical(link), fs::canonical(binary));
  }
  for (const char* file :
       {"lib/quorelle/Plugin/DsfSource.ppi", "lib/quorelle/Plugin/DffSource.ppi",
        "lib/quorelle/Plugin/FlacSource.ppi", "lib/quorelle/wasapirenderer.so",
        "lib/quorelle/libqp_asio_alsa.so", "lib/quorelle/libqp_asio_virtual.so",
        "lib/quorelle/asio.d/CorvaneUsbDac.ini", "share/mime/packages/quorelle-player.xml"}) {
    EXPECT_TRUE(fs::is_regular_file(Installed(file))) << file;
  }
}

TEST_F(InstallTest, TheInstalledProbeLoadsThePluginBesideItself) {
  const std::string probe = Quoted(Installed("bin/quorelle-probe")) + " plugins";
  CommandRun run = RunCommand(probe);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output,
            "{\"name\":\"DFF Plugin\",\"extensions\":\"DFF\",\"version\":\"1.0.0\"}\n"
            "{\"name\":\"DSF Plugin\",\"extensions\":\"DSF\",\"version\":\"1.0.2\"}\n"
            "{\"name\":\"FLAC Plugin\",\"extensions\":\"FLAC\",\"version\":\"1.0.0\"}\n");

  // Without the installed copies nothing is found: the build tree's do not count.
  const fs::path plugins = Installed("lib/quorelle/Plugin");
  const fs::path aside = Installed("Plugin.aside");
  fs::rename(plugins, aside);
  run = RunCommand(probe);
  fs::rename(aside, plugins);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "");
}

TEST_F(InstallTest, TheInstalledRegistryNamesTheDriverBesideTheProgram) {
  const fs::path registry = Installed("lib/quorelle/asio.d");
  const fs::path library = Value(ReadText(registry / "CorvaneUsbDac.ini"), "Library");
  ASSERT_FALSE(library.empty());
  EXPECT_TRUE(library.is_relative()) << library;
  EXPECT_EQ(fs::canonical(registry / library),
            fs::canonical(Installed("lib/quorelle/libqp_asio_alsa.so")));

  // The build tree's registry keeps naming the library built there.
  const fs::path built =
      Value(ReadText(fs::path(QP_ASIO_BUILD_REGISTRY) / "CorvaneUsbDac.ini"), "Library");
  EXPECT_TRUE(built.is_absolute()) << built;
  EXPECT_TRUE(fs::exists(built)) << built;
}

TEST_F(InstallTest, TheDesktopEntryOpensThePlayersFilesWithItsIcon) {
  const fs::path entry = Installed("share/applications/quorelle-player.desktop");
  const CommandRun validation = RunCommand("desktop-file-validate " + Quoted(entry));
  EXPECT_EQ(validation.exitCode, 0) << validation.output;
  EXPECT_EQ(validation.output, "");
  const std::string text = ReadText(entry);
  EXPECT_EQ(Value(text, "Name"), "Corvane Quorelle Player");
  EXPECT_EQ(Value(text, "Exec"), "quorelle-player %F");
  EXPECT_EQ(Value(text, "Icon"), "quorelle-player");
  const std::vector<std::string> types = Split(Value(text, "MimeType"), ';');
  for (const char* type : {"audio/x-wav", "audio/wav", "audio/mpeg", "audio/x-dsf", "audio/x-dff",
                           "audio/flac", "application/x-cue", "application/x-quorelle-playlist"}) {
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
  }

  for (std::uint32_t size : {16u, 32u, 48u, 64u, 128u, 256u}) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(PngSize(Installed("share/icons/hicolor/" + folder + "/apps/quorelle-player.png")),
              std::make_pair(size, size))
        << folder;
  }
  const std::string svg =
      ReadText(Installed("share/icons/hicolor/scalable/apps/quorelle-player.svg"));
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
}

TEST_F(InstallTest, EachProgramsManualPageIsItsHelpText) {
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    const std::string page = ReadText(Installed("share/man/man1/" + program + ".1"));
    std::string title = program;
    for (char& c : title)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(page.rfind(".TH " + title + " 1 ", 0), 0u) << page;
    const CommandRun help = RunCommand(Quoted(Installed("bin/" + program)) + " --help");
    ASSERT_EQ(help.exitCode, 0) << help.output;
    ASSERT_FALSE(help.output.empty());
    std::istringstream lines(help.output);
    for (std::string line; std::getline(lines, line);)
      EXPECT_NE(page.find("\n" + line + "\n"), std::string::npos) << line;
  }
}

// The package built once for the suite into a temporary folder; skipped
// where dpkg-deb is missing.
class PackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (RunCommand("command -v dpkg-deb").exitCode != 0) return;
    out_ = new fixtures::TempDir;
    cpack_ = new CommandRun(RunCommand(Quoted(QP_CPACK_COMMAND) + " -G DEB --config " +
                                       Quoted(std::string(QP_BUILD_DIR) + "/CPackConfig.cmake") +
                                       " -B " + Quoted(out_->path())));
    for (const auto& entry : fs::directory_iterator(out_->path())) {
      if (entry.path().extension() == ".deb") package_ = entry.path().string();
    }
  }
  static void TearDownTestSuite() {
    delete cpack_;
    delete out_;
  }
  void SetUp() override {
    if (cpack_ == nullptr) GTEST_SKIP() << "dpkg-deb is missing: no Debian package test";
    ASSERT_EQ(cpack_->exitCode, 0) << cpack_->output;
    ASSERT_FALSE(package_.empty()) << cpack_->output;
  }

  static std::string Dpkg(const std::string& arguments) {
    const CommandRun run = RunCommand("dpkg-deb " + arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return run.output;
  }

  static inline fixtures::TempDir* out_ = nullptr;
  static inline CommandRun* cpack_ = nullptr;
  static inline std::string package_;
};

TEST_F(PackageTest, ThePackageHoldsTheTreeUnderUsrAndTheRegistryInEtc) {
  const std::string contents = Dpkg("--contents " + Quoted(package_));
  for (const std::string& program : Programs()) {
    EXPECT_NE(contents.find("./usr/lib/quorelle/" + program + "\n"), std::string::npos) << program;
    EXPECT_NE(contents.find("./usr/bin/" + program + " -> ../lib/quorelle/" + program),
              std::string::npos)
        << program;
  }
  for (const char* file :
       {"./usr/lib/quorelle/Plugin/DsfSource.ppi", "./usr/lib/quorelle/Plugin/DffSource.ppi",
        "./usr/lib/quorelle/Plugin/FlacSource.ppi", "./usr/lib/quorelle/wasapirenderer.so",
        "./usr/lib/quorelle/libqp_asio_alsa.so", "./usr/lib/quorelle/libqp_asio_virtual.so",
        "./etc/xdg/Corvane/asio.d/CorvaneUsbDac.ini",
        "./usr/share/applications/quorelle-player.desktop",
        "./usr/share/mime/packages/quorelle-player.xml", "./usr/share/man/man1/quorelle-play.1",
        "./usr/share/man/man1/quorelle-probe.1", "./usr/share/man/man1/quorelle-player.1",
        "./usr/share/icons/hicolor/48x48/apps/quorelle-player.png",
        "./usr/share/icons/hicolor/scalable/apps/quorelle-player.svg"}) {
    EXPECT_NE(contents.find(std::string(file) + "\n"), std::string::npos) << file;
  }
  // One registry entry for the DAC: the system's, not a second beside the program.
  EXPECT_EQ(contents.find("./usr/lib/quorelle/asio.d/"), std::string::npos) << contents;

  // Dependencies as dpkg-shlibdeps found them; the registry is the user's to edit.
  const std::string depends = Dpkg("--field " + Quoted(package_) + " Depends");
  for (const char* library : {"libqt6widgets6", "libqt6dbus6", "libasound2", "libmpg123-0"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
  EXPECT_EQ(Dpkg("--info " + Quoted(package_) + " conffiles"),
            "/etc/xdg/Corvane/asio.d/CorvaneUsbDac.ini\n");
}

TEST_F(PackageTest, TheUnpackedPlayerPlaysToTheVirtualDac) {
  fixtures::TempDir root;
  Dpkg("-x " + Quoted(package_) + " " + Quoted(root.path()));
  const fs::path registry = fs::path(root.path()) / "etc/xdg/Corvane/asio.d/CorvaneUsbDac.ini";
  EXPECT_EQ(Value(ReadText(registry), "Library"), "/usr/lib/quorelle/libqp_asio_alsa.so");

  const fixtures::Bytes samples = fixtures::AudioPattern(22050 * 4);
  fixtures::WriteWav(root.File("tone.wav"), {1, 2, 44100, 16}, samples);
  fs::create_directories(root.File("asio"));
  const CommandRun play =
      RunCommand("XDG_DATA_HOME=" + Quoted(root.File("data")) +
                 " QP_ASIO_DRIVER_DIR=" + Quoted(root.File("asio")) +
                 " PULSE_SERVER=" + Quoted("unix:" + root.File("no-server")) + " " +
                 Quoted(root.File("usr/bin/quorelle-play")) + " --virtual Clock=free --capture " +
                 Quoted(root.File("cap")) + " " + Quoted(root.File("tone.wav")));
  ASSERT_EQ(play.exitCode, 0) << play.output;
  const fixtures::DeviceSamples played =
      fixtures::SamplesOfCapture(fixtures::ReadFile(root.File("cap.0.raw")));
  const fixtures::DeviceSamples left = fixtures::ChannelOf16(samples, 0);
  EXPECT_NE(std::search(played.begin(), played.end(), left.begin(), left.end()), played.end())
      << "the device did not get the file's samples unchanged";
}

}  // namespace
