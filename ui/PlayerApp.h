#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/AppConfigHolder.h"
#include "platform/ErrorReport.h"
#include "ui/DlgErrorNotify.h"
#include "ui/SingleInstance.h"

class CAppConfigData;
class QWidget;

namespace ui {

class CQDXDSDPlayerApp;

// The player's main window as the application sees it.
class IMainWindow {
 public:
  virtual ~IMainWindow() = default;
  virtual QWidget* Window() = 0;
  // Files handed to the player on a command line, '|'-joined.
  virtual void OnFilesForwarded(const std::wstring& files) = 0;
};

using MainWindowFactory = std::function<std::unique_ptr<IMainWindow>(CQDXDSDPlayerApp&)>;

// The application: one instance per user, the settings, the main window,
// and the error window that reports from any thread.
class CQDXDSDPlayerApp : public IAppConfigHolder {
 public:
  explicit CQDXDSDPlayerApp(MainWindowFactory createMainWindow,
                            QString instanceName = CSingleInstance::ServerName());
  ~CQDXDSDPlayerApp() override;

  // Starts the player with the command line's arguments (program name
  // left out). False when the process should end now: another instance
  // runs and got the files, or the main window could not be made.
  bool InitInstance(const QStringList& arguments);
  void ExitInstance();

  std::shared_ptr<CAppConfigData>& GetConfig() override { return config_; }
  // Thread-safe; the texts appear in the error window on the window thread.
  void ReportError(const std::wstring& text);

  const std::wstring& dataFolder() const { return dataFolder_; }
  IMainWindow* mainWindow() const { return mainWindow_.get(); }
  CDlgErrorNotify* errorWindow() const { return errorWindow_; }

 private:
  // Hands error texts from any thread to the window thread; detached when
  // the application ends, after which texts are dropped.
  class ErrorQueue : public IAppErrorManager {
   public:
    explicit ErrorQueue(CQDXDSDPlayerApp& app);
    void ReportError(const std::wstring& text) override;
    void Detach();

   private:
    std::mutex mutex_;
    CQDXDSDPlayerApp* const app_;
    std::unique_ptr<QObject> receiver_;  // lives on the window thread
  };

  void ShowError(const QString& text);

  MainWindowFactory createMainWindow_;
  CSingleInstance instance_;
  std::shared_ptr<CAppConfigData> config_;
  std::wstring dataFolder_;
  std::unique_ptr<IMainWindow> mainWindow_;
  QPointer<CDlgErrorNotify> errorWindow_;
  std::shared_ptr<ErrorQueue> errors_;
};

}  // namespace ui
