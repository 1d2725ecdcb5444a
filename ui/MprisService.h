#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace ui {

class CMainFrame;
class CMprisPlayerAdaptor;

// MPRIS 2 for the desktop's media controls and media keys: the window's
// player at /org/mpris/MediaPlayer2 under org.mpris.MediaPlayer2.quorelle.
// It lives on the window thread as a child of the frame (Qt D-Bus delivers
// the calls there), runs every request through the window's own commands,
// and tells the bus what changed whenever the view reports a new state.
class CMprisService : public QObject {
  Q_OBJECT

 public:
  static constexpr char kServiceName[] = "org.mpris.MediaPlayer2.quorelle";
  static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

  // Registers the player on `bus`; null (and nothing on the bus) when the
  // bus is not connected or the name or the object is taken.
  static CMprisService* Register(CMainFrame& frame, QDBusConnection bus);
  // On the session bus when DBUS_SESSION_BUS_ADDRESS names one; without it
  // the player runs without media controls.
  static CMprisService* RegisterOnSessionBus(CMainFrame& frame);
  ~CMprisService() override;

  // org.mpris.MediaPlayer2
  void Raise();
  void Quit();
  QStringList SupportedMimeTypes() const;

  // org.mpris.MediaPlayer2.Player
  QString PlaybackStatus() const;
  QVariantMap Metadata() const;
  qlonglong Position() const;
  bool Shuffle() const;
  void SetShuffle(bool shuffle);
  QString LoopStatus() const;
  void SetLoopStatus(const QString& status);
  bool CanPlay() const;
  // Pausing and seeking need a track that plays or is paused.
  bool CanPause() const;
  bool CanSeek() const;
  void Play();
  void Pause();
  void PlayPause();
  void Stop();
  void Next();
  void Previous();
  void Seek(qlonglong offset);
  void SetPosition(const QDBusObjectPath& track, qlonglong position);
  void OpenUri(const QString& uri);

  // The object path that names playlist row `row`.
  static QDBusObjectPath TrackId(int row);

 private:
  CMprisService(CMainFrame& frame, QDBusConnection bus);
  // The player's properties that PropertiesChanged reports.
  QVariantMap PlayerState() const;
  // Sends PropertiesChanged with what differs from what was last told.
  void PublishChanges();
  // Seeks to `position` microseconds into the track and tells the bus.
  void SeekTo(qlonglong position);

  CMainFrame& frame_;
  QDBusConnection bus_;
  CMprisPlayerAdaptor* player_ = nullptr;
  QVariantMap published_;
};

// org.mpris.MediaPlayer2: the application.
class CMprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
  Q_PROPERTY(bool CanQuit READ yes)
  Q_PROPERTY(bool CanRaise READ yes)
  Q_PROPERTY(bool HasTrackList READ no)

 public:
  explicit CMprisRootAdaptor(CMprisService* service);

  QString identity() const;
  QString desktopEntry() const { return QStringLiteral("quorelle-player"); }
  QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList supportedMimeTypes() const { return service_->SupportedMimeTypes(); }
  bool yes() const { return true; }
  bool no() const { return false; }

 public slots:
  void Raise() { service_->Raise(); }
  void Quit() { service_->Quit(); }

 private:
  CMprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the transport. The player never scales
// samples, so the volume stays at 1.0, and it plays at the one rate.
class CMprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
  Q_PROPERTY(double Rate READ one)
  Q_PROPERTY(double MinimumRate READ one)
  Q_PROPERTY(double MaximumRate READ one)
  Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ one)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ yes)
  Q_PROPERTY(bool CanGoPrevious READ yes)
  Q_PROPERTY(bool CanPlay READ canPlay)
  Q_PROPERTY(bool CanPause READ canPause)
  Q_PROPERTY(bool CanSeek READ canSeek)
  Q_PROPERTY(bool CanControl READ yes)

 public:
  explicit CMprisPlayerAdaptor(CMprisService* service);

  QString playbackStatus() const { return service_->PlaybackStatus(); }
  QString loopStatus() const { return service_->LoopStatus(); }
  void setLoopStatus(const QString& status) { service_->SetLoopStatus(status); }
  bool shuffle() const { return service_->Shuffle(); }
  void setShuffle(bool shuffle) { service_->SetShuffle(shuffle); }
  QVariantMap metadata() const { return service_->Metadata(); }
  qlonglong position() const { return service_->Position(); }
  bool canPlay() const { return service_->CanPlay(); }
  bool canPause() const { return service_->CanPause(); }
  bool canSeek() const { return service_->CanSeek(); }
  double one() const { return 1.0; }
  bool yes() const { return true; }

 public slots:
  void Play() { service_->Play(); }
  void Pause() { service_->Pause(); }
  void PlayPause() { service_->PlayPause(); }
  void Stop() { service_->Stop(); }
  void Next() { service_->Next(); }
  void Previous() { service_->Previous(); }
  void Seek(qlonglong Offset) { service_->Seek(Offset); }
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    service_->SetPosition(TrackId, Position);
  }
  void OpenUri(const QString& Uri) { service_->OpenUri(Uri); }

 signals:
  void Seeked(qlonglong Position);

 private:
  CMprisService* service_;
};

}  // namespace ui
