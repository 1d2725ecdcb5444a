// The player's window: the main frame around the panel view, with the real
// facade and playback thread playing on the virtual DAC, the questions and
// file dialogs answered by the test; and its media controls on a private
// session bus.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "app/AppConfigData.h"
#include "app/AppStartup.h"
#include "core/PlaylistCtrl.h"
#include "core/TkScriptedDialogs.h"
#include "output/AsioDriverList.h"
#include "output/EngineSettings.h"
#include "platform/TextConv.h"
#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/DbusDaemon.h"
#include "tests/fixtures/DeviceSamples.h"
#include "tests/fixtures/SameElements.h"
#include "tests/fixtures/WavWriter.h"
#include "ui/CustomButton.h"
#include "ui/ExListCtrl.h"
#include "ui/MainFrame.h"
#include "ui/MprisService.h"
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
    options.workRepaintInterval = workRepaintInterval_;
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
  std::chrono::milliseconds workRepaintInterval_ = 50ms;
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

// Adding files shows how far it is in the status line and repaints the
// window between files (here after every file); once done, the status line
// shows the times again.
TEST_F(PlayerWindowTest, AddingFilesRepaintsTheirProgressInTheStatusLine) {
  workRepaintInterval_ = 0ms;
  Open();
  class PaintedTexts : public QObject {
   public:
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint)
        texts.push_back(static_cast<ui::CStatusTextArea*>(watched)->text());
      return false;
    }
    QStringList texts;
  } painted;
  View().statusLine()->installEventFilter(&painted);
  AddWavs(4);
  View().statusLine()->removeEventFilter(&painted);
  for (const char* text : {"Loading 25%...", "Loading 50%...", "Loading 75%..."})
    EXPECT_TRUE(painted.texts.contains(text))
        << text << " in " << painted.texts.join("|").toStdString();
  EXPECT_EQ(View().statusLine()->text(), "00:00 / 00:00  ");
}

// The window manager may ask the window to close while files are being
// added: it closes once they are all in, and keeps them for the next start.
TEST_F(PlayerWindowTest, AClosingRequestDuringAddingWaitsForTheFiles) {
  workRepaintInterval_ = 0ms;
  Open();
  class CloseOnProgress : public QObject {
   public:
    explicit CloseOnProgress(CMainFrame& frame) : frame_(frame) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint && !asked &&
          static_cast<ui::CStatusTextArea*>(watched)->text().startsWith("Loading")) {
        asked = true;
        frame_.close();
        stayedOpen = frame_.isVisible();
      }
      return false;
    }
    CMainFrame& frame_;
    bool asked = false;
    bool stayedOpen = false;
  } closer(*frame_);
  View().statusLine()->installEventFilter(&closer);
  AddWavs(4);
  EXPECT_TRUE(closer.asked);
  EXPECT_TRUE(closer.stayedOpen);
  ASSERT_TRUE(WaitFor([&] { return !frame_->isVisible(); }));
  const fixtures::Bytes saved = fixtures::ReadFile(dir_.File("data/player.ppl"));
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 4);
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
  EXPECT_TRUE(fixtures::HoldsAt(played, start, opening)) << "the first file differs";
  EXPECT_TRUE(fixtures::HoldsAt(played, start + opening.size(), join));
  // The seek restarts the stream: silence, then the second file from 2 s.
  const auto afterSeek = left(samples_["second.wav"], 2 * 44100, 4410);
  const auto resumed = std::search(played.begin() + start + opening.size(), played.end(),
                                   afterSeek.begin(), afterSeek.end());
  ASSERT_NE(resumed, played.end());
  EXPECT_TRUE(std::all_of(resumed - 512, resumed, [](auto s) { return s == 0; }));
}

// What the media controls announce, as a desktop client on the bus hears it.
class BusSignals : public QObject {
  Q_OBJECT

 public slots:
  void OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
    if (interface == QLatin1String("org.mpris.MediaPlayer2.Player")) changes.push_back(changed);
  }
  void OnSeeked(qlonglong position) { seeks.push_back(position); }

 public:
  // Whether some PropertiesChanged carried `property` with `value`.
  bool Announced(const QString& property, const QVariant& value) const {
    return std::any_of(changes.begin(), changes.end(), [&](const QVariantMap& change) {
      return change.contains(property) && change.value(property) == value;
    });
  }
  // The track ids the PropertiesChanged signals announced, in order.
  std::vector<QString> TrackIds() const {
    std::vector<QString> ids;
    for (const QVariantMap& change : changes) {
      if (!change.contains(QStringLiteral("Metadata"))) continue;
      const auto metadata =
          qdbus_cast<QVariantMap>(change.value(QStringLiteral("Metadata")).value<QDBusArgument>());
      ids.push_back(
          metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path());
    }
    return ids;
  }

  std::vector<QVariantMap> changes;
  std::vector<qlonglong> seeks;
};

// A desktop client of the window's media controls: calls answered while
// this thread runs the window's events (a blocking call would wait for the
// very thread that has to answer it).
class MediaControlsClient {
 public:
  explicit MediaControlsClient(const QDBusConnection& bus) : bus_(bus) {}

  QDBusMessage Call(const QString& interface, const QString& method,
                    const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        ui::CMprisService::kServiceName, ui::CMprisService::kObjectPath, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = bus_.asyncCall(message);
    EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); })) << method.toStdString();
    return pending.reply();
  }
  QDBusMessage PlayerCall(const QString& method, const QVariantList& args = {}) {
    return Call(kPlayer, method, args);
  }
  QVariant Get(const QString& interface, const QString& property) {
    const QDBusMessage reply = Call(kProperties, QStringLiteral("Get"), {interface, property});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }
  QVariant Player(const QString& property) { return Get(kPlayer, property); }
  QVariantMap Metadata() {
    return qdbus_cast<QVariantMap>(Player(QStringLiteral("Metadata")).value<QDBusArgument>());
  }
  QDBusMessage Set(const QString& property, const QVariant& value) {
    return Call(kProperties, QStringLiteral("Set"),
                {kPlayer, property, QVariant::fromValue(QDBusVariant(value))});
  }

  static inline const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
  static inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

 private:
  QDBusConnection bus_;
};

// The window's media controls on a session bus of the test's own: the
// desktop reads what plays, drives the transport through the window's own
// commands, and sets the order the menu and config.ini keep.
TEST_F(PlayerWindowTest, MediaControlsOnTheSessionBusFollowAndDriveTheWindow) {
  const pulsetest::DbusDaemon daemon({"--session"});
  ASSERT_TRUE(daemon.IsRunning()) << "dbus-daemon did not start";
  const QString address = QString::fromStdString(daemon.address());
  QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("mpris-window"));
  QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("mpris-desktop"));
  ASSERT_TRUE(server.isConnected() && bus.isConnected());
  MediaControlsClient client(bus);
  BusSignals heard;
  const QString service = ui::CMprisService::kServiceName;
  const QString path = ui::CMprisService::kObjectPath;
  ASSERT_TRUE(bus.connect(service, path, MediaControlsClient::kProperties,
                          QStringLiteral("PropertiesChanged"), &heard,
                          SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
  ASSERT_TRUE(bus.connect(service, path, MediaControlsClient::kPlayer, QStringLiteral("Seeked"),
                          &heard, SLOT(OnSeeked(qlonglong))));

  Open();
  ASSERT_NE(ui::CMprisService::Register(*frame_, server), nullptr);
  // A second player cannot take the name.
  EXPECT_EQ(ui::CMprisService::Register(*frame_, bus), nullptr);
  const QString root = QStringLiteral("org.mpris.MediaPlayer2");
  EXPECT_EQ(client.Get(root, QStringLiteral("Identity")).toString(), "Corvane Quorelle Player");
  EXPECT_EQ(client.Get(root, QStringLiteral("DesktopEntry")).toString(), "quorelle-player");
  EXPECT_TRUE(client.Get(root, QStringLiteral("SupportedMimeTypes"))
                  .toStringList()
                  .contains(QStringLiteral("audio/mpeg")));
  EXPECT_EQ(client.Player(QStringLiteral("PlaybackStatus")).toString(), "Stopped");

  // Listed first: rows are added in the natural order of their names.
  const std::string tagged = dir_.File("a-tagged.wav");
  fixtures::WavFile()
      .Format({1, 2, 44100, 16})
      .Chunk("LIST",
             fixtures::InfoListBody({{"INAM", {'T', 'o', 'n', 'e'}}, {"IART", {'A', 'r', 't'}}}))
      .Data(fixtures::AudioPattern(44100 * 4 * 20))
      .Write(tagged);
  const std::wstring second = platform::FromUtf8(Wav("second.wav", 44100 * 20, 2));
  Forward(platform::FromUtf8(tagged) + L"|" + second, 2);

  client.PlayerCall(QStringLiteral("Play"));
  ASSERT_TRUE(WaitFor([&] { return heard.Announced("PlaybackStatus", "Playing"); }));
  EXPECT_EQ(client.Player(QStringLiteral("PlaybackStatus")).toString(), "Playing");
  const QVariantMap metadata = client.Metadata();
  EXPECT_EQ(metadata.value("mpris:trackid").value<QDBusObjectPath>(),
            ui::CMprisService::TrackId(0));
  EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 20'000'000);
  EXPECT_EQ(metadata.value("xesam:title").toString().toStdString(), "Tone");
  EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"Art"});
  EXPECT_EQ(metadata.value("xesam:url").toString().toStdString(), "file://" + tagged);

  // PlayPause pauses as the window's Pause does, and resumes: the device
  // receives again.
  client.PlayerCall(QStringLiteral("PlayPause"));
  ASSERT_TRUE(WaitFor([&] { return heard.Announced("PlaybackStatus", "Paused"); }));
  EXPECT_TRUE(Action(ui::kCmdPause)->isChecked());
  const std::string capture = dir_.File("cap.0.raw");
  const auto pausedSize = std::filesystem::file_size(capture);
  client.PlayerCall(QStringLiteral("PlayPause"));
  ASSERT_TRUE(WaitFor([&] { return Action(ui::kCmdPlay)->isChecked(); }));
  EXPECT_EQ(client.Player(QStringLiteral("PlaybackStatus")).toString(), "Playing");
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::file_size(capture) > pausedSize; }));

  // A seek 5 s on is told once, at the whole second the player went to.
  ASSERT_TRUE(WaitFor([&] { return View().TrackPosition() >= 1; }));
  client.PlayerCall(QStringLiteral("Seek"), {qlonglong{5'000'000}});
  ASSERT_TRUE(WaitFor([&] { return !heard.seeks.empty(); }));
  const qlonglong target = heard.seeks.front();
  EXPECT_GE(target, 6'000'000);
  EXPECT_EQ(target % 1'000'000, 0);
  ASSERT_TRUE(
      WaitFor([&] { return client.Player(QStringLiteral("Position")).toLongLong() > target; }));
  EXPECT_EQ(heard.seeks.size(), 1u);

  // Next moves to the next row, and the desktop hears of the new track.
  client.PlayerCall(QStringLiteral("Next"));
  ASSERT_TRUE(WaitFor([&] { return View().HighlightedRow() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return heard.TrackIds().size() >= 2; }));
  EXPECT_EQ(heard.TrackIds().front(), ui::CMprisService::TrackId(0).path());
  EXPECT_EQ(heard.TrackIds().back(), ui::CMprisService::TrackId(1).path());
  EXPECT_EQ(client.Metadata().value("xesam:title").toString().toStdString(), "second.wav");

  client.PlayerCall(QStringLiteral("Stop"));
  ASSERT_TRUE(WaitFor([&] { return heard.Announced("PlaybackStatus", "Stopped"); }));
  EXPECT_TRUE(Action(ui::kCmdStop)->isChecked());

  // The order, set from the desktop, is the menu's and is kept.
  client.Set(QStringLiteral("Shuffle"), true);
  client.Set(QStringLiteral("LoopStatus"), QStringLiteral("Track"));
  EXPECT_TRUE(Action(ui::kCmdShuffle)->isChecked());
  EXPECT_TRUE(Action(ui::kCmdRepeatTitle)->isChecked());
  EXPECT_FALSE(Action(ui::kCmdRepeatDefault)->isChecked());
  EXPECT_TRUE(client.Player(QStringLiteral("Shuffle")).toBool());
  EXPECT_EQ(client.Player(QStringLiteral("LoopStatus")).toString(), "Track");
  EXPECT_TRUE(WaitFor([&] { return heard.Announced("LoopStatus", "Track"); }));
  EXPECT_TRUE(heard.Announced("Shuffle", true));
  client.Set(QStringLiteral("LoopStatus"), QStringLiteral("Playlist"));
  EXPECT_TRUE(Action(ui::kCmdRepeatPlaylist)->isChecked());

  // Quit is File > Exit: the window closes and stores the settings.
  client.Call(root, QStringLiteral("Quit"));
  EXPECT_FALSE(frame_->isVisible());
  const std::string config = fixtures::ReadText(dir_.File("data/config.ini"));
  EXPECT_NE(config.find("ShuffleMode=1"), std::string::npos) << config;
  EXPECT_NE(config.find("RepeatMode=2"), std::string::npos) << config;
  QDBusConnection::disconnectFromBus(QStringLiteral("mpris-window"));
  QDBusConnection::disconnectFromBus(QStringLiteral("mpris-desktop"));
}

}  // namespace

#include "PlayerWindowTest.moc"
