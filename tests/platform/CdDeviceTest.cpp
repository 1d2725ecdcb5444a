#include <gtest/gtest.h>

#include "platform/CdDevice.h"
#include "platform/TextConv.h"
#include "tests/fixtures/CdImageWriter.h"

namespace {

using fixtures::CdImageTrack;
using platform::CdDevice;

fixtures::Bytes ReadSectors(const CdDevice& device, std::uint32_t lba, std::uint32_t count) {
  fixtures::Bytes bytes(std::size_t{count} * fixtures::kCdSectorBytes, 0xEE);
  if (!device.ReadAudio(lba, count, bytes.data())) return {};
  return bytes;
}

// The image writer and libcdio agree: what the cue sheet lays out is the
// table of contents libcdio reads, and sectors come back byte for byte.
TEST(CdDevice, ReadsTheTableOfContentsAndRawSectorsOfADiscImage) {
  fixtures::TempDir dir;
  const std::vector<CdImageTrack> tracks = {
      {.sectors = 300}, {.sectors = 160}, {.sectors = 200}, {.sectors = 180, .audio = false}};
  const fixtures::CdImage image = fixtures::WriteCdImage(dir.path(), "enhanced", tracks);

  std::lock_guard lock(platform::CdAccessLock());
  CdDevice device;
  ASSERT_TRUE(device.Open(platform::FromUtf8(image.cuePath)));
  const std::optional<platform::CdToc> toc = device.ReadToc();
  ASSERT_TRUE(toc.has_value());
  EXPECT_EQ(toc->leadOut, 840u);
  ASSERT_EQ(toc->tracks.size(), 4u);
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(toc->tracks[i].number, static_cast<int>(i + 1));
    EXPECT_EQ(toc->tracks[i].audio, tracks[i].audio);
    EXPECT_EQ(toc->tracks[i].start, image.starts[i]);
  }
  device.SetSpeed(1200);  // an image refuses; nothing changes

  for (const std::uint32_t lba : {0u, 1u, 299u, 450u, 825u}) {
    SCOPED_TRACE(lba);
    EXPECT_EQ(ReadSectors(device, lba, 15), fixtures::CdSectorPattern(lba, 15));
  }
  // Past the lead-out a drive refuses; so does an image, rather than hand out
  // whatever its buffer held.
  EXPECT_TRUE(ReadSectors(device, 830, 15).empty());
  EXPECT_TRUE(ReadSectors(device, 840, 1).empty());
  EXPECT_TRUE(ReadSectors(device, 0xFFFFFFF0u, 15).empty());

  device.Close();
  EXPECT_FALSE(device.IsOpen());
  EXPECT_FALSE(device.ReadToc().has_value());
  EXPECT_TRUE(ReadSectors(device, 0, 1).empty());
}

TEST(CdDevice, OpensNothingForAnEmptyOrMissingName) {
  fixtures::TempDir dir;
  fixtures::WriteText(dir.File("junk.cue"), "this is not a cue sheet\n");
  // libcdio's own error handler would end the process on these.
  fixtures::WriteText(dir.File("junk.nrg"), "this is not an image either\n");
  std::lock_guard lock(platform::CdAccessLock());
  for (const std::string& name : {std::string(), dir.File("missing.cue"), dir.File("junk.cue"),
                                  dir.File("missing-drive"), dir.path(), dir.File("junk.nrg")}) {
    SCOPED_TRACE(name);
    CdDevice device;
    EXPECT_FALSE(device.Open(platform::FromUtf8(name)));
    EXPECT_FALSE(device.IsOpen());
  }
}

// libcdio keeps an image's tracks in a table of 99 and the lead-out and
// indexes it with what the sheet says; sheets that would make it write
// outside the table are refused before libcdio reads them.
TEST(CdDevice, RefusesSheetsThatWouldOverrunLibcdiosTrackTable) {
  using fixtures::AudioTracks;
  using fixtures::CdCueSheet;
  const std::vector<CdImageTrack> ninetyNine = AudioTracks(std::vector<std::uint32_t>(99, 1));
  std::vector<CdImageTrack> hundred = AudioTracks(std::vector<std::uint32_t>(100, 1));
  hundred[99].cueNumber = 99;
  // libcdio reads 4095 bytes of a line at a time; the rest is a line of its own.
  const std::string trackInALongLinesTail = "REM " + std::string(4091, 'x') + "TRACK 99 AUDIO\n";
  // libcdio finds a .toc file's data from the working folder: the sheets
  // name it by this mark, replaced by its full path.
  static const std::string kBinPath = "@BIN@";
  auto tocTracks = [](int count) {
    std::string toc = "CD_DA\n";
    for (int i = 0; i < count; ++i)
      toc += "TRACK AUDIO\nFILE \"" + kBinPath + "\" 0 00:00:01\n";
    return toc;
  };
  const struct {
    const char* what;
    std::string sheetName;
    std::string sheet;
    std::string openedName;  // the sheet's own name when empty
    bool opens;
  } cases[] = {
      {"99 tracks", "disc.cue", CdCueSheet("disc.bin", ninetyNine), "", true},
      {"100 tracks", "disc.cue", CdCueSheet("disc.bin", hundred), "", false},
      {"a 100th track in a long line's tail", "disc.cue",
       CdCueSheet("disc.bin", ninetyNine) + trackInALongLinesTail, "", false},
      {"the same sheet named by its image", "DISC.CUE", CdCueSheet("DISC.BIN", hundred), "DISC.BIN",
       false},
      {"first track 2 of one", "disc.cue", CdCueSheet("disc.bin", {{.sectors = 9, .cueNumber = 2}}),
       "", false},
      {"first track 2 of two", "disc.cue",
       CdCueSheet("disc.bin", {{.sectors = 9, .cueNumber = 2}, {.sectors = 9, .cueNumber = 3}}), "",
       true},
      {"no track", "disc.cue", "FILE \"disc.bin\" BINARY\n", "", false},
      {"toc of 99 tracks", "disc.toc", tocTracks(99), "", true},
      {"toc of 100 tracks", "disc.toc", tocTracks(100), "", false},
      {"toc without a track", "disc.toc", "CD_DA\n", "", false},
      {"toc with an ISRC before its first track", "disc.toc",
       "CD_DA\nISRC \"ABCDE1234567\"\n" + tocTracks(1).substr(6), "", false},
      {"toc with SILENCE before its first track", "disc.toc",
       "CD_DA\nSILENCE 00:00:01\n" + tocTracks(1).substr(6), "", false},
      {"toc with NO COPY before its first track", "disc.toc",
       "CD_DA\nNO COPY\n" + tocTracks(1).substr(6), "", false},
      {"toc track without a mode", "disc.toc", "CD_DA\nTRACK\nFILE \"" + kBinPath + "\" 0\n", "",
       false},
      {"toc track of mode MODE2_FORM1", "disc.toc",
       "CD_ROM_XA\nTRACK MODE2_FORM1\nFILE \"" + kBinPath + "\" 0\n", "", false},
      {"toc track of mode MODE2_RAW", "disc.toc",
       "CD_ROM_XA\nTRACK MODE2_RAW\nFILE \"" + kBinPath + "\" 0 00:00:01\n", "", true},
      {"toc with the same in a comment", "disc.toc",
       "CD_DA\n// ISRC \"ABCDE1234567\"\n" + tocTracks(1), "", true},
  };
  std::lock_guard lock(platform::CdAccessLock());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fixtures::TempDir dir;
    const std::string stem = c.sheetName.substr(0, c.sheetName.size() - 4);
    const std::string binName = stem + (c.sheetName.ends_with("CUE") ? ".BIN" : ".bin");
    fixtures::WriteFile(dir.File(binName), fixtures::CdSectorPattern(0, 200));
    std::string sheet = c.sheet;
    for (std::size_t at; (at = sheet.find(kBinPath)) != std::string::npos;)
      sheet.replace(at, kBinPath.size(), dir.File(binName));
    fixtures::WriteText(dir.File(c.sheetName), sheet);
    CdDevice device;
    const std::string opened = dir.File(c.openedName.empty() ? c.sheetName : c.openedName);
    EXPECT_EQ(device.Open(platform::FromUtf8(opened)), c.opens);
    EXPECT_EQ(device.IsOpen(), c.opens);
  }
}

}  // namespace
