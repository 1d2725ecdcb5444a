#pragma once

#include <memory>
#include <string>

// Where user-visible errors of playback and output go, from any thread: the
// application shows them in its error window.
class IAppErrorManager {
 public:
  virtual void ReportError(const std::wstring& text) = 0;
  virtual ~IAppErrorManager() = default;
};

namespace platform {

// The process-wide error manager; the application installs it at start-up.
void SetAppErrorManager(std::shared_ptr<IAppErrorManager> manager);
// Hands the text to the installed manager; dropped when none is installed.
void ReportAppError(const std::wstring& text);

}  // namespace platform
