#include "ui/MprisService.h"

#include <QAction>
#include <QDBusMessage>
#include <QUrl>
#include <algorithm>
#include <map>

#include "core/PlaylistCtrl.h"
#include "platform/StringTable.h"
#include "sources/TrackInfo.h"
#include "ui/MainFrame.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kTrackPathPrefix[] = "/org/mpris/MediaPlayer2/quorelle/track/";
constexpr qlonglong kMicroseconds = 1000000;

using core::Transport;

// The repeat modes of the facade and config.ini by loop status, with the
// menu command that sets each.
struct LoopMode {
  const char* status;
  std::int32_t repeat;
  int command;
};
constexpr LoopMode kLoopModes[] = {{"None", 0, kCmdRepeatDefault},
                                   {"Track", 1, kCmdRepeatTitle},
                                   {"Playlist", 2, kCmdRepeatPlaylist}};

// The MIME types of files of one extension.
QStringList MimeTypesOf(const QString& extension) {
  static const std::map<QString, QStringList> known = {
      {QStringLiteral("wav"), {QStringLiteral("audio/x-wav"), QStringLiteral("audio/wav")}},
      {QStringLiteral("mp3"), {QStringLiteral("audio/mpeg")}},
      {QStringLiteral("cue"), {QStringLiteral("application/x-cue")}},
      {QStringLiteral("dsf"), {QStringLiteral("audio/x-dsf")}},
      {QStringLiteral("dff"), {QStringLiteral("audio/x-dff")}},
      {QStringLiteral("flac"), {QStringLiteral("audio/flac")}}};
  const auto it = known.find(extension);
  return it != known.end() ? it->second : QStringList{QStringLiteral("audio/x-") + extension};
}

}  // namespace

CMprisService* CMprisService::Register(CMainFrame& frame, QDBusConnection bus) {
  if (!bus.isConnected()) return nullptr;
  auto* service = new CMprisService(frame, bus);
  if (!bus.registerObject(QString::fromLatin1(kObjectPath), service,
                          QDBusConnection::ExportAdaptors)) {
    delete service;
    return nullptr;
  }
  if (!bus.registerService(QString::fromLatin1(kServiceName))) {
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    delete service;
    return nullptr;
  }
  service->setParent(&frame);
  service->published_ = service->PlayerState();
  connect(frame.view(), &CQDXDSDPlayerView::PlayerStateChanged, service,
          &CMprisService::PublishChanges);
  return service;
}

CMprisService* CMprisService::RegisterOnSessionBus(CMainFrame& frame) {
  // Without an address Qt D-Bus would try to start a bus of its own.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return nullptr;
  return Register(frame, QDBusConnection::sessionBus());
}

CMprisService::CMprisService(CMainFrame& frame, QDBusConnection bus)
    : frame_(frame), bus_(std::move(bus)) {
  new CMprisRootAdaptor(this);
  player_ = new CMprisPlayerAdaptor(this);
}

CMprisService::~CMprisService() {
  if (parent() == nullptr) return;  // never registered
  bus_.unregisterService(QString::fromLatin1(kServiceName));
  bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

QDBusObjectPath CMprisService::TrackId(int row) {
  return QDBusObjectPath(QString::fromLatin1(kTrackPathPrefix) + QString::number(row));
}

// ------------------------------------------------------------ application

void CMprisService::Raise() {
  frame_.showNormal();
  frame_.raise();
  frame_.activateWindow();
}

void CMprisService::Quit() {
  // As File > Exit: the discard check first.
  if (QAction* exit = frame_.menu().Action(kCmdExit)) exit->trigger();
}

QStringList CMprisService::SupportedMimeTypes() const {
  QStringList types;
  for (const std::wstring& extension : frame_.view()->facade().PlayableExtensions()) {
    for (const QString& type : MimeTypesOf(QString::fromStdWString(extension).toLower())) {
      if (!types.contains(type)) types << type;
    }
  }
  return types;
}

// ----------------------------------------------------------------- player

QString CMprisService::PlaybackStatus() const {
  switch (frame_.view()->facade().TransportState()) {
    case Transport::kStopped:
      return QStringLiteral("Stopped");
    case Transport::kPaused:
      return QStringLiteral("Paused");
    default:
      return QStringLiteral("Playing");
  }
}

QVariantMap CMprisService::Metadata() const {
  CQDXDSDPlayerView& view = *frame_.view();
  const std::int32_t row = view.HighlightedRow();
  const auto playlist = view.facade().GetPlaylist();
  TrackInfo item;
  if (row < 0 || !playlist || playlist->GetItem(row, &item) != 0) return {};
  QVariantMap metadata;
  metadata[QStringLiteral("mpris:trackid")] = QVariant::fromValue(TrackId(row));
  metadata[QStringLiteral("mpris:length")] =
      static_cast<qlonglong>(item.length) * kMicroseconds / kFramesPerSecond;
  metadata[QStringLiteral("xesam:title")] =
      QString::fromStdWString(item.title.empty() ? item.fileName : item.title);
  if (!item.artist.empty()) {
    metadata[QStringLiteral("xesam:artist")] = QStringList{QString::fromStdWString(item.artist)};
  }
  if (!item.album.empty()) {
    metadata[QStringLiteral("xesam:album")] = QString::fromStdWString(item.album);
  }
  metadata[QStringLiteral("xesam:url")] =
      QUrl::fromLocalFile(QString::fromStdWString(item.path)).toString();
  return metadata;
}

qlonglong CMprisService::Position() const {
  if (frame_.view()->facade().TransportState() == Transport::kStopped) return 0;
  return static_cast<qlonglong>(frame_.view()->TrackPosition()) * kMicroseconds;
}

bool CMprisService::Shuffle() const {
  return frame_.view()->facade().Shuffle();
}

void CMprisService::SetShuffle(bool shuffle) {
  // Through the menu entry, which greys while a track plays.
  QAction* action = frame_.menu().Action(kCmdShuffle);
  if (action != nullptr && action->isChecked() != shuffle) action->trigger();
}

QString CMprisService::LoopStatus() const {
  const std::int32_t repeat = frame_.view()->facade().RepeatMode();
  for (const LoopMode& mode : kLoopModes) {
    if (mode.repeat == repeat) return QString::fromLatin1(mode.status);
  }
  return QString::fromLatin1(kLoopModes[0].status);
}

void CMprisService::SetLoopStatus(const QString& status) {
  for (const LoopMode& mode : kLoopModes) {
    if (status != QLatin1String(mode.status)) continue;
    if (QAction* action = frame_.menu().Action(mode.command)) action->trigger();
  }
}

bool CMprisService::CanPlay() const {
  const auto playlist = frame_.view()->facade().GetPlaylist();
  return playlist && playlist->Count() > 0;
}

bool CMprisService::CanPause() const {
  return frame_.view()->facade().TransportState() != Transport::kStopped;
}

bool CMprisService::CanSeek() const {
  return CanPause();
}

void CMprisService::Play() {
  const Transport state = frame_.view()->facade().TransportState();
  if (state == Transport::kPaused) frame_.view()->OnCommand(kCmdPause);  // resumes
  if (state == Transport::kStopped) frame_.view()->OnCommand(kCmdPlay);
}

void CMprisService::Pause() {
  if (frame_.view()->facade().TransportState() == Transport::kPlaying) {
    frame_.view()->OnCommand(kCmdPause);
  }
}

void CMprisService::PlayPause() {
  frame_.view()->OnCommand(
      frame_.view()->facade().TransportState() == Transport::kStopped ? kCmdPlay : kCmdPause);
}

void CMprisService::Stop() {
  frame_.view()->OnCommand(kCmdStop);
}

void CMprisService::Next() {
  frame_.view()->OnCommand(kCmdNext);
}

void CMprisService::Previous() {
  frame_.view()->OnCommand(kCmdPrevious);
}

void CMprisService::Seek(qlonglong offset) {
  if (!CanSeek()) return;
  const qlonglong length = Metadata().value(QStringLiteral("mpris:length")).toLongLong();
  const qlonglong target = std::max<qlonglong>(0, Position() + offset);
  if (target > length) return Next();
  SeekTo(target);
}

void CMprisService::SetPosition(const QDBusObjectPath& track, qlonglong position) {
  if (!CanSeek() || position < 0) return;
  const QVariantMap metadata = Metadata();
  if (metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>() != track) return;
  if (position > metadata.value(QStringLiteral("mpris:length")).toLongLong()) return;
  SeekTo(position);
}

void CMprisService::SeekTo(qlonglong position) {
  // The player seeks to whole seconds, as the seek bar does.
  const auto seconds = static_cast<std::int32_t>(position / kMicroseconds);
  frame_.view()->facade().Seek(seconds);
  emit player_->Seeked(static_cast<qlonglong>(seconds) * kMicroseconds);
}

void CMprisService::OpenUri(const QString& uri) {
  const QUrl url(uri);
  if (!url.isLocalFile()) return;
  CToolkitFacade& facade = frame_.view()->facade();
  const std::int32_t before = facade.GetPlaylist()->Count();
  facade.AddFileList({url.toLocalFile().toStdWString()});
  if (facade.GetPlaylist()->Count() > before) facade.PlayRow(before);
}

// ---------------------------------------------------------------- signals

QVariantMap CMprisService::PlayerState() const {
  return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
          {QStringLiteral("Metadata"), Metadata()},
          {QStringLiteral("Shuffle"), Shuffle()},
          {QStringLiteral("LoopStatus"), LoopStatus()},
          {QStringLiteral("CanPlay"), CanPlay()},
          {QStringLiteral("CanPause"), CanPause()},
          {QStringLiteral("CanSeek"), CanSeek()}};
}

void CMprisService::PublishChanges() {
  const QVariantMap state = PlayerState();
  QVariantMap changed;
  for (auto it = state.begin(); it != state.end(); ++it) {
    if (published_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  }
  published_ = state;
  if (changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(
      QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
  bus_.send(signal);
}

// --------------------------------------------------------------- adaptors

CMprisRootAdaptor::CMprisRootAdaptor(CMprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QString CMprisRootAdaptor::identity() const {
  return ResourceText(platform::IDS_APP_NAME, "Corvane Quorelle Player");
}

CMprisPlayerAdaptor::CMprisPlayerAdaptor(CMprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

}  // namespace ui
