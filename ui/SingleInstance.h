#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace ui {

// Makes the player run once per user: the first instance listens on a
// local socket named after the window class and the user; a later one
// finds it there and hands over its files instead of opening a window.
class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  // The socket name for this user.
  static QString ServerName();

  explicit CSingleInstance(QString serverName = ServerName(), QObject* parent = nullptr);
  ~CSingleInstance() override;

  // True when this process is the first instance and now listens.
  bool Claim();

  // From a second instance: asks the running one to come to the front and,
  // when `files` is not empty, to take them ('|'-joined). False when no
  // instance answered within `timeoutMs`.
  bool Forward(const QString& files, int timeoutMs = 3000) const;

 signals:
  void ActivationRequested();
  void FilesReceived(const QString& files);

 private:
  void OnConnection();

  QString serverName_;
  QLocalServer* server_ = nullptr;
};

}  // namespace ui
