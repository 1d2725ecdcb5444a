// The player's window: the main frame around the panel view, with the real
// facade and playback thread playing on the virtual DAC, the questions and
// file dialogs answered by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "app/AppConfigData.h"
#include "app/AppStartup.h"
#include "core/PlaylistCtrl.h"
#include "core/TkScriptedDialogs.h"
#include "output/AsioDriverList.h"
#include "output/EngineSettings.h"
#include "platform/TextConv.h"
#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/DeviceSamples.h"
#include "tests/fixtures/WavWriter.h"
#include "ui/CustomButton.h"
#include "ui/ExListCtrl.h"
#include "ui/MainFrame.h"
#include "ui/StatusTextArea.h"

namespace {

using fixtures::Bytes;
using ui::CMainFrame;
using ui::CQDXDSDPlayerView;
using namespace std::chrono_literals;

// The user's answers: the save question, the CD chosen, and the dialogs
// that must not open.
class ScriptedPrompts : public ui::IViewPrompts {
 public:
  bool AskSaveChangedPlaylist(QWidget*) override {
    ++questions;
    return answerYes;
  }
  void ShowNoDevice(QWidget*) override { ++noDeviceNotices; }
  std::wstring ChooseCd(QWidget*, const std::vector<std::wstring>&) override { return cd; }
  bool Configure(QWidget*, CAppConfigData& config) override {
    ++configures;
    if (!configureOk) return false;
    config.decodeMode.value = 1;
    config.ramMode.value = 1;
    return true;
  }
  void ShowAbout(QWidget*, CToolkitFacade&) override {}

  bool answerYes = false;
  bool configureOk = false;
  int configures = 0;
  int questions = 0;
  int noDeviceNotices = 0;
  std::wstring cd;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
  return QTest::qWaitFor(condition, static_cast<int>(limit.count()));
}

class PlayerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QP_ASIO_DRIVER_DIR", dir_.File("asio").c_str(), 1);
    std::filesystem::create_directories(dir_.File("asio"));
    setenv("PULSE_SERVER", ("unix:" + dir_.File("no-server")).c_str(), 1);
    RegisterVirtualDac(std::filesystem::path(QP_VIRTUAL_DAC_LIB).parent_path().string());
    AddAsioDriverSettings(kVirtualDacName, "Capture=" + dir_.File("cap") + "\nBufferSize=512\n");
    dataFolder_ = platform::FromUtf8(dir_.File("data"));
  }
  void TearDown() override {
    frame_.reset();
    unsetenv("QP_ASIO_DRIVER_DIR");
    unsetenv("PULSE_SERVER");
  }

  // A window as the application makes it, on a data folder of the test's.
  void Open() {
    config_ = std::make_shared<CAppConfigData>();
    LoadStartupConfiguration(*config_, dataFolder_);
    config_->device.value = L"Virtual DAC";
    CQDXDSDPlayerView::Options options;
    options.prompts = prompts_;
    options.fileDialogs = dialogs_;
    options.facade.thread.commandPause = 20ms;
    frame_ = std::make_unique<CMainFrame>(config_, dataFolder_, options);
    frame_->show();
  }

  CQDXDSDPlayerView& View() { return *frame_->view(); }
  CToolkitFacade& Facade() { return View().facade(); }
  std::int32_t Count() { return Facade().GetPlaylist()->Count(); }
  QAction* Action(int command) { return frame_->menu().Action(command); }

  std::string Wav(const std::string& name, std::size_t frames = 4410, std::uint32_t seed = 1) {
    samples_[name] = fixtures::AudioPattern(frames * 4, seed);
    fixtures::WriteWav(dir_.File(name), {1, 2, 44100, 16}, samples_[name]);
    return dir_.File(name);
  }
  // Files handed over as another instance would, then waits for them.
  void Forward(const std::wstring& text, std::int32_t expectedCount) {
    frame_->OnFilesForwarded(text);
    ASSERT_TRUE(WaitFor([&] { return Count() == expectedCount; })) << Count();
  }
  void AddWavs(int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i)
      text += (i ? L"|" : L"") + platform::FromUtf8(Wav(std::to_string(i) + ".wav"));
    Forward(text, Count() + count);
  }
  std::vector<std::wstring> FileNames() {
    std::vector<std::wstring> names;
    for (const auto& item : Facade().GetPlaylist()->Items())
      names.push_back(item.fileName);
    return names;
  }

  fixtures::TempDir dir_;
  std::wstring dataFolder_;
  std::shared_ptr<CAppConfigData> config_;
  std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
  std::shared_ptr<CTkScriptedDialogs> dialogs_ = std::make_shared<CTkScriptedDialogs>();
  std::unique_ptr<CMainFrame> frame_;
  std::map<std::string, Bytes> samples_;
};

TEST(PlayerTextsTest, StatusLineTitleAndFrameRules) {
  EXPECT_EQ(CQDXDSDPlayerView::StatusText(3725, 7384), "62:05 / 123:04  ");
  EXPECT_EQ(CQDXDSDPlayerView::StatusText(0, 0), "00:00 / 00:00  ");
  EXPECT_EQ(CQDXDSDPlayerView::WindowTitle("Tone", 100), "Tone - Corvane Quorelle Player");
  EXPECT_EQ(CQDXDSDPlayerView::WindowTitle("Tone", 42),
            "[Loading 42%...] Tone - Corvane Quorelle Player");
  EXPECT_EQ(CQDXDSDPlayerView::WindowTitle("", 42), "Corvane Quorelle Player");
  EXPECT_EQ(CQDXDSDPlayerView::SeekTipText(125), "2:05");
  EXPECT_EQ(CQDXDSDPlayerView::SeekTipText(3725), "62:05");

  struct Split {
    const wchar_t* text;
    std::vector<std::wstring> files;
  } splits[] = {
      {L"a|b", {L"a", L"b"}}, {L"a||b", {L"a", L"b"}}, {L"a|", {L"a", L""}}, {L"a", {L"a"}}};
  for (const auto& s : splits)
    EXPECT_EQ(CMainFrame::SplitForwardedFiles(s.text), s.files) << platform::ToUtf8(s.text);

  EXPECT_EQ(CMainFrame::MinimumTrackingSize(144, 144), QSize(480, 360));
  EXPECT_EQ(CMainFrame::MinimumTrackingSize(96, 96), QSize(320, 240));
  const QList<QRect> screens{QRect(0, 0, 1920, 1080)};
  EXPECT_TRUE(CMainFrame::IsCaptionVisible(QRect(100, 50, 727, 30), screens));
  EXPECT_FALSE(CMainFrame::IsCaptionVisible(QRect(-5000, 50, 727, 30), screens));
  EXPECT_FALSE(CMainFrame::IsCaptionVisible(QRect(1880, 50, 727, 30), screens));  // 40 px only
  EXPECT_FALSE(CMainFrame::IsCaptionVisible(QRect(100, 1070, 727, 30), screens));
}

TEST_F(PlayerWindowTest, ForwardedFilesAreAppendedAndTheClosingButtonKeepsThePlaylist) {
  Open();
  const std::wstring a = platform::FromUtf8(Wav("a.wav"));
  const std::wstring b = platform::FromUtf8(Wav("b.wav"));
  Forward(a + L"|" + b, 2);
  Forward(a + L"||" + b, 4);
  Forward(a + L"|", 5);  // the empty piece is taken, and adds nothing
  EXPECT_EQ(View().statusLine()->text(), "00:00 / 00:00  ");

  frame_->move(100, 50);
  ASSERT_TRUE(frame_->close());
  const std::string saved = dir_.File("data/player.ppl");
  ASSERT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(config_->windowX.value, 100);
  EXPECT_EQ(config_->windowY.value, 50);

  // The next start brings the playlist back; Exit leaves the file alone.
  frame_.reset();
  Open();
  EXPECT_EQ(Count(), 5);
  const auto before = std::filesystem::last_write_time(saved);
  const Bytes content = fixtures::ReadFile(saved);
  AddWavs(1);
  frame_->ExitCommand();
  EXPECT_EQ(fixtures::ReadFile(saved), content);
  EXPECT_EQ(std::filesystem::last_write_time(saved), before);
}

TEST_F(PlayerWindowTest, TheDiscardCheckAsksBeforeAChangedPlaylistGoes) {
  Open();
  AddWavs(2);
  ASSERT_TRUE(Facade().GetPlaylist()->IsModified());
  prompts_->answerYes = true;
  dialogs_->Cancel();  // Yes, then the save dialog is cancelled: nothing happens
  View().OnCommand(ui::kCmdNewPlaylist);
  EXPECT_EQ(prompts_->questions, 1);
  EXPECT_EQ(Count(), 2);
  prompts_->answerYes = false;  // No: the playlist goes
  View().OnCommand(ui::kCmdNewPlaylist);
  EXPECT_EQ(prompts_->questions, 2);
  EXPECT_EQ(Count(), 0);
}

TEST_F(PlayerWindowTest, AnAudioCdGreysWhatCannotApplyToIt) {
  Open();
  AddWavs(1);
  const auto image = fixtures::WriteCdImage(dir_.path(), "disc", fixtures::AudioTracks({150, 150}));
  prompts_->cd = platform::FromUtf8(image.cuePath);
  prompts_->answerYes = false;
  View().OnCommand(ui::kCmdOpenCd);
  ASSERT_TRUE(WaitFor([&] { return View().IsCdMode(); }));
  EXPECT_EQ(Count(), 2);
  EXPECT_FALSE(Action(ui::kCmdAddFile)->isEnabled());
  EXPECT_FALSE(Action(ui::kCmdSavePlaylist)->isEnabled());
  EXPECT_TRUE(Action(ui::kCmdOpen)->isEnabled());
  const int questions = prompts_->questions;
  dialogs_->Cancel();
  View().OnCommand(ui::kCmdOpen);  // a CD playlist is never offered for saving
  EXPECT_EQ(prompts_->questions, questions);
  EXPECT_FALSE(View().playlist()->IsDropEnabled());
}

TEST_F(PlayerWindowTest, ConfigureStoresAndAppliesWhatTheDialogChose) {
  Open();
  View().OnCommand(ui::kCmdDevice);  // cancelled: nothing changes
  EXPECT_EQ(prompts_->configures, 1);
  EXPECT_EQ(config_->decodeMode.value, 0);
  EXPECT_EQ(GetEngineSettings().decodeMode, 0);

  prompts_->configureOk = true;
  View().OnCommand(ui::kCmdDevice);
  EXPECT_EQ(config_->decodeMode.value, 1);
  EXPECT_EQ(GetEngineSettings().decodeMode, 1);
  EXPECT_EQ(GetEngineSettings().ramMode, 1);
  EXPECT_EQ(View().deviceLabel()->text(), "Virtual DAC");
  const Bytes saved = fixtures::ReadFile(dir_.File("data/config.ini"));
  const std::string text(saved.begin(), saved.end());
  EXPECT_NE(text.find("DecodeMode=1"), std::string::npos) << text;
  EXPECT_NE(text.find("Device=Virtual DAC"), std::string::npos) << text;
}

TEST_F(PlayerWindowTest, TheArrowsMoveInThePlaylistWhateverHasTheFocus) {
  Open();
  AddWavs(3);
  ui::CExListCtrl* list = View().playlist();
  list->setCurrentItem(list->topLevelItem(0));
  QWidget* button = View().button(ui::kCmdNext);
  QTest::keyClick(button, Qt::Key_Down);
  EXPECT_EQ(list->currentIndex().row(), 1);
  QTest::keyClick(View().seekBar(), Qt::Key_Down);
  EXPECT_EQ(list->currentIndex().row(), 2);
  QTest::keyClick(button, Qt::Key_Up);
  EXPECT_EQ(list->currentIndex().row(), 1);
}

TEST_F(PlayerWindowTest, RowsDragAndFilesDropThroughTheFacade) {
  Open();
  AddWavs(6);
  ui::CExListCtrl* list = View().playlist();
  list->clearSelection();
  list->topLevelItem(2)->setSelected(true);
  emit list->RowDragFinished(6);  // released on the lower half of row 5
  EXPECT_EQ(FileNames(), (std::vector<std::wstring>{L"0.wav", L"1.wav", L"3.wav", L"4.wav",
                                                    L"5.wav", L"2.wav"}));
  EXPECT_EQ(list->topLevelItem(5)->text(4), QString::fromStdString(dir_.File("2.wav")));
  list->clearSelection();
  list->topLevelItem(0)->setSelected(true);
  emit list->RowDragFinished(6);  // released below the last row
  EXPECT_EQ(FileNames().back(), L"0.wav");
  EXPECT_EQ(list->topLevelItem(5)->text(4), QString::fromStdString(dir_.File("0.wav")));

  fixtures::WriteFile(dir_.File("notes.txt"), Bytes{'x'});
  QMimeData mime;
  auto carries = [&](const std::string& path) {
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &enter);
    return enter.isAccepted();
  };
  EXPECT_FALSE(carries(dir_.File("notes.txt")));
  ASSERT_TRUE(carries(Wav("dropped.wav")));
  QDragMoveEvent over(QPoint(10, 250), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(list->viewport(), &over);
  QDropEvent drop(QPoint(10, 250), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(list->viewport(), &drop);
  ASSERT_TRUE(WaitFor([&] { return Count() == 7; }));
  EXPECT_EQ(FileNames().back(), L"dropped.wav");
}

TEST_F(PlayerWindowTest, LoadingProgressGatesTheSeekBarAndPrefixesTheTitle) {
  Open();
  Forward(platform::FromUtf8(Wav("long.wav", 44100 * 10)), 1);
  Facade().PlayRow(0);
  ASSERT_TRUE(WaitFor([&] { return View().HighlightedRow() == 0; }));
  emit View().FrameMessage(32885, 42, 0);
  ASSERT_TRUE(WaitFor([&] { return frame_->windowTitle().startsWith("[Loading 42%...]"); }))
      << frame_->windowTitle().toStdString();
  EXPECT_FALSE(View().seekBar()->isEnabled());
  emit View().FrameMessage(32885, 150, 0);  // out of range: ignored
  QTest::qWait(50);
  EXPECT_FALSE(View().seekBar()->isEnabled());
  emit View().FrameMessage(32885, 100, 0);
  ASSERT_TRUE(WaitFor([&] { return View().seekBar()->isEnabled(); }));
  EXPECT_EQ(frame_->windowTitle(), "long.wav - Corvane Quorelle Player");
}

// The window played to the end by its own commands, heard at the device:
// two rows joined without a gap, a pause, a seek, and a stop.
TEST_F(PlayerWindowTest, CommandsPlayPauseSeekAndStopWhatTheDeviceHears) {
  Open();
  const std::wstring first = platform::FromUtf8(Wav("first.wav", 30000, 1));
  const std::wstring second = platform::FromUtf8(Wav("second.wav", 44100 * 4, 2));
  Forward(first + L"|" + second, 2);

  View().OnCommand(ui::kCmdPlay);
  ASSERT_TRUE(WaitFor([&] { return View().HighlightedRow() == 1; }));  // joined on
  EXPECT_TRUE(Action(ui::kCmdPlay)->isChecked());
  EXPECT_FALSE(Action(ui::kCmdOpen)->isEnabled());
  EXPECT_FALSE(frame_->menu().configure->isEnabled());
  EXPECT_EQ(frame_->windowTitle(), "second.wav - Corvane Quorelle Player");

  // A second into it (the join is well past), pause and resume.
  ASSERT_TRUE(WaitFor([&] { return View().seekBar()->value() >= 1; }));
  View().OnCommand(ui::kCmdPause);
  ASSERT_TRUE(WaitFor([&] { return Action(ui::kCmdPause)->isChecked(); }));
  EXPECT_TRUE(View().button(ui::kCmdPlay)->isVisible());
  View().OnCommand(ui::kCmdPause);
  ASSERT_TRUE(WaitFor([&] { return Action(ui::kCmdPlay)->isChecked(); }));

  Facade().Seek(2);  // as the seek bar's release asks
  ASSERT_TRUE(WaitFor([&] { return View().seekBar()->value() >= 3; }));  // played on from 2 s
  View().OnCommand(ui::kCmdStop);
  ASSERT_TRUE(WaitFor([&] { return Action(ui::kCmdStop)->isChecked(); }));
  EXPECT_FALSE(View().seekBar()->isEnabled());
  EXPECT_EQ(View().HighlightedRow(), -1);
  frame_->ExitCommand();

  // What the device got on its left channel: silence, the first file, the
  // second from its start on (its first 0.1 s, well before the pause), and
  // after the seek the second file again from 2 s on.
  const Bytes capture = fixtures::ReadFile(dir_.File("cap.0.raw"));
  const fixtures::DeviceSamples played = fixtures::SamplesOfCapture(capture);
  auto left = [](const Bytes& pcm, std::size_t from, std::size_t count) {
    const fixtures::DeviceSamples all = fixtures::ChannelOf16(pcm, 0);
    const std::size_t end = std::min(from + count, all.size());
    return fixtures::DeviceSamples(all.begin() + static_cast<long>(std::min(from, end)),
                                   all.begin() + static_cast<long>(end));
  };
  const auto opening = left(samples_["first.wav"], 0, 30000);
  const auto join = left(samples_["second.wav"], 0, 4410);
  const std::size_t start = 512 + 4410;  // a half of prefill, then the lead-in
  ASSERT_GE(played.size(), start + opening.size() + join.size());
  EXPECT_TRUE(std::all_of(played.begin(), played.begin() + start, [](auto s) { return s == 0; }));
  const auto mismatch =
      std::mismatch(opening.begin(), opening.end(), played.begin() + static_cast<long>(start));
  EXPECT_EQ(mismatch.first, opening.end())
      << "the first file differs from sample " << (mismatch.first - opening.begin());
  EXPECT_TRUE(std::equal(join.begin(), join.end(), played.begin() + start + opening.size()));
  // The seek restarts the stream: silence, then the second file from 2 s.
  const auto afterSeek = left(samples_["second.wav"], 2 * 44100, 4410);
  const auto resumed = std::search(played.begin() + start + opening.size(), played.end(),
                                   afterSeek.begin(), afterSeek.end());
  ASSERT_NE(resumed, played.end());
  EXPECT_TRUE(std::all_of(resumed - 512, resumed, [](auto s) { return s == 0; }));
}

}  // namespace
