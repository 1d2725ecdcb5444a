#include "ui/PlayerApp.h"

#include <QApplication>
#include <QWidget>

#include "app/AppConfigData.h"
#include "app/AppStartup.h"
#include "ui/DlgErrorNotify.h"
#include "ui/ProgramIcon.h"

namespace ui {

CQDXDSDPlayerApp::ErrorQueue::ErrorQueue(CQDXDSDPlayerApp& app)
    : app_(&app), receiver_(std::make_unique<QObject>()) {}

void CQDXDSDPlayerApp::ErrorQueue::ReportError(const std::wstring& text) {
  std::lock_guard lock(mutex_);
  if (receiver_ == nullptr) return;
  CQDXDSDPlayerApp* app = app_;
  // Queued to the receiver's thread; calls still queued when the receiver
  // goes are dropped with it.
  QMetaObject::invokeMethod(
      receiver_.get(), [app, message = QString::fromStdWString(text)] { app->ShowError(message); },
      Qt::QueuedConnection);
}

// On the window thread: texts still queued are dropped with the receiver.
void CQDXDSDPlayerApp::ErrorQueue::Detach() {
  std::lock_guard lock(mutex_);
  receiver_.reset();
}

CQDXDSDPlayerApp::CQDXDSDPlayerApp(MainWindowFactory createMainWindow, QString instanceName)
    : createMainWindow_(std::move(createMainWindow)),
      instance_(std::move(instanceName)),
      errors_(std::make_shared<ErrorQueue>(*this)) {}

CQDXDSDPlayerApp::~CQDXDSDPlayerApp() {
  ExitInstance();
  delete errorWindow_;
}

bool CQDXDSDPlayerApp::InitInstance(const QStringList& arguments) {
  std::vector<std::wstring> args;
  for (const QString& argument : arguments)
    args.push_back(argument.toStdWString());
  const QString files = QString::fromStdWString(JoinFileArguments(FileArguments(args)));

  if (!instance_.Claim()) {
    // Another player runs: it comes to the front and takes the files; this
    // process reads and writes no settings and opens no window.
    instance_.Forward(files);
    return false;
  }

  config_ = std::make_shared<CAppConfigData>();
  dataFolder_ = LocalDataFolder();
  LoadStartupConfiguration(*config_, dataFolder_);
  platform::SetAppErrorManager(errors_);

  // Every window of the program, the dialogs included, shows the program icon.
  QApplication::setWindowIcon(ProgramIcon());
  mainWindow_ = createMainWindow_ ? createMainWindow_(*this) : nullptr;
  if (mainWindow_ == nullptr || mainWindow_->Window() == nullptr) return false;
  QWidget* window = mainWindow_->Window();
  QObject::connect(&instance_, &CSingleInstance::ActivationRequested, window, [window] {
    // To the front, but a minimised window stays minimised.
    window->raise();
    window->activateWindow();
  });
  QObject::connect(
      &instance_, &CSingleInstance::FilesReceived, window,
      [this](const QString& received) { mainWindow_->OnFilesForwarded(received.toStdWString()); });
  if (!files.isEmpty()) mainWindow_->OnFilesForwarded(files.toStdWString());
  window->show();
  return true;
}

void CQDXDSDPlayerApp::ExitInstance() {
  errors_->Detach();
  platform::SetAppErrorManager(nullptr);
}

void CQDXDSDPlayerApp::ReportError(const std::wstring& text) {
  errors_->ReportError(text);
}

void CQDXDSDPlayerApp::ShowError(const QString& text) {
  if (errorWindow_ == nullptr) {
    errorWindow_ = new CDlgErrorNotify(mainWindow_ != nullptr ? mainWindow_->Window() : nullptr);
  }
  errorWindow_->AppendText(text);
  errorWindow_->show();
}

}  // namespace ui
