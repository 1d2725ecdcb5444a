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

}  // namespace
