#include "ui/SingleInstance.h"

#include <unistd.h>

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/StringTable.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

// One message per connection: a tag (0 files, 1 come to the front) and the
// UTF-16 text of the files.
enum MessageTag : quint32 { kFiles = 0, kActivate = 1 };

constexpr int kMaxMessageBytes = 16 * 1024 * 1024;

}  // namespace

QString CSingleInstance::ServerName() {
  return ResourceText(platform::IDS_APP_NAME, "Corvane Quorelle Player") + "-" +
         QString::number(getuid());
}

CSingleInstance::CSingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

CSingleInstance::~CSingleInstance() = default;

bool CSingleInstance::Claim() {
  QLocalSocket probe;
  probe.connectToServer(serverName_);
  if (probe.waitForConnected(500)) return false;
  // Nobody answers: a socket left by a player that crashed is stale.
  QLocalServer::removeServer(serverName_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(serverName_)) return false;
  connect(server_, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
  return true;
}

bool CSingleInstance::Forward(const QString& files, int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(serverName_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  QByteArray message;
  QDataStream stream(&message, QIODevice::WriteOnly);
  stream << static_cast<quint32>(files.isEmpty() ? kActivate : kFiles) << files;
  socket.write(message);
  socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
  return true;
}

void CSingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // The whole message is read once the sender has closed its side.
    connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket] {
      const QByteArray message = socket->readAll();
      if (message.size() > kMaxMessageBytes) return;
      QDataStream stream(message);
      quint32 tag = 0;
      QString files;
      stream >> tag >> files;
      if (stream.status() != QDataStream::Ok) return;
      emit ActivationRequested();
      if (tag == kFiles && !files.isEmpty()) emit FilesReceived(files);
    });
  }
}

}  // namespace ui
