// The Open-audio-CD dialog over disc images: only candidates on which the CD
// source finds an audio track are offered.
#include "ui/DlgOpenCD.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "platform/TextConv.h"
#include "tests/fixtures/CdImageWriter.h"

namespace {

using fixtures::AudioTracks;
using fixtures::CdImageTrack;

class DlgOpenCDTest : public ::testing::Test {
 protected:
  std::wstring Image(const std::string& folder, const std::string& name,
                     const std::vector<CdImageTrack>& tracks) {
    std::filesystem::create_directories(dir_.File(folder));
    return platform::FromUtf8(fixtures::WriteCdImage(dir_.File(folder), name, tracks).cuePath);
  }
  static QStringList Shown(const ui::CDlgOpenCD& dialog) {
    QStringList names;
    for (int i = 0; i < dialog.driveList()->count(); ++i)
      names << dialog.driveList()->itemText(i);
    return names;
  }
  static bool Click(ui::CDlgOpenCD& dialog, const QString& text) {
    for (auto* button : dialog.findChildren<QPushButton*>()) {
      if (button->text() == text) QTest::mouseClick(button, Qt::LeftButton);
    }
    return !dialog.isVisible();
  }

  fixtures::TempDir dir_;
  const std::wstring music_ = Image("a", "music", AudioTracks({75, 150}));
  const std::wstring data_ = Image("a", "data", {{150, false}});
  // A data track first, then audio: an enhanced CD.
  const std::wstring mixed_ = Image("a", "mixed", {{150, false}, {75, true}});
  const std::wstring twin_ = Image("b", "music", AudioTracks({75}));
  const std::wstring missing_ = platform::FromUtf8(dir_.File("missing.cue"));
};

TEST_F(DlgOpenCDTest, ListsOnlyCandidatesWithAnAudioTrack) {
  const auto q = [](const std::wstring& path) { return QString::fromStdWString(path); };
  const struct {
    const char* what;
    std::vector<std::wstring> drives, images;
    QStringList shown;
  } cases[] = {
      {"images by file name", {}, {data_, music_, missing_, mixed_}, {"music.cue", "mixed.cue"}},
      {"drives by device name", {data_, music_}, {}, {q(music_)}},
      {"drives before images, each once", {music_}, {mixed_, music_}, {q(music_), "mixed.cue"}},
      {"images sharing a file name by path", {}, {music_, twin_, twin_}, {q(music_), q(twin_)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui::CDlgOpenCD dialog(c.images, nullptr, [&c] { return c.drives; });
    dialog.show();
    EXPECT_EQ(Shown(dialog), c.shown);
    EXPECT_EQ(dialog.driveList()->currentIndex(), 0);
    EXPECT_TRUE(dialog.okButton()->isEnabled());
  }
}

TEST_F(DlgOpenCDTest, OkHandsOverThePathOfTheChosenEntry) {
  ui::CDlgOpenCD dialog({music_, mixed_}, nullptr, [] { return std::vector<std::wstring>{}; });
  EXPECT_EQ(dialog.windowTitle(), "Open audio CD");
  dialog.show();
  dialog.driveList()->setCurrentIndex(1);
  EXPECT_TRUE(Click(dialog, "OK"));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.GetDrive(), mixed_);
}

TEST_F(DlgOpenCDTest, WithoutAnAudioCdNothingIsListedAndOkIsDisabled) {
  ui::CDlgOpenCD dialog({music_, data_, missing_}, nullptr,
                        [this] { return std::vector<std::wstring>{data_}; });
  dialog.show();
  ASSERT_EQ(Shown(dialog), QStringList{"music.cue"});
  dialog.hide();

  // The disc goes: the next time the dialog opens it finds nothing.
  std::filesystem::remove(std::filesystem::path(music_).replace_extension(".bin"));
  std::filesystem::remove(music_);
  dialog.show();
  EXPECT_TRUE(Shown(dialog).isEmpty());
  EXPECT_EQ(dialog.driveList()->currentIndex(), -1);
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  EXPECT_FALSE(Click(dialog, "OK"));
  EXPECT_TRUE(Click(dialog, "Cancel"));
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(dialog.GetDrive().empty());
}

}  // namespace
