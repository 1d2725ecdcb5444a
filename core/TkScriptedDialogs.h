#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/TkFileDialogs.h"

// File dialogs without a window: each call takes the next answer of a
// script (chosen paths, or a cancel) and records what it was asked. With
// the script used up, every dialog is cancelled.
class CTkScriptedDialogs : public ITkFileDialogs {
 public:
  struct Reply {
    bool ok = false;
    std::vector<std::wstring> paths;
  };
  struct Request {
    std::wstring kind;  // "open files", "open file" or "save file"
    std::wstring title;
    std::wstring filter;
    std::wstring defaultExtension;
    std::wstring initialPath;
  };

  void Choose(std::vector<std::wstring> paths) { answers_.push_back({true, std::move(paths)}); }
  void Cancel() { answers_.push_back({false, {}}); }
  const std::vector<Request>& Requests() const { return requests_; }

  bool OpenFiles(const std::wstring& title, const std::wstring& filter,
                 std::vector<std::wstring>* paths) override;
  bool OpenFile(const std::wstring& title, const std::wstring& filter,
                const std::wstring& defaultExtension, std::wstring* path) override;
  bool SaveFile(const std::wstring& title, const std::wstring& filter,
                const std::wstring& defaultExtension, const std::wstring& initialPath,
                std::wstring* path) override;

 private:
  Reply Next(Request request);

  std::deque<Reply> answers_;
  std::vector<Request> requests_;
};
