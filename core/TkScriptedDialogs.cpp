#include "core/TkScriptedDialogs.h"

CTkScriptedDialogs::Reply CTkScriptedDialogs::Next(Request request) {
  requests_.push_back(std::move(request));
  if (answers_.empty()) return {};
  auto answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

bool CTkScriptedDialogs::OpenFiles(const std::wstring& title, const std::wstring& filter,
                                   std::vector<std::wstring>* paths) {
  auto answer = Next({L"open files", title, filter, L"", L""});
  if (!answer.ok || paths == nullptr) return false;
  *paths = std::move(answer.paths);
  return true;
}

bool CTkScriptedDialogs::OpenFile(const std::wstring& title, const std::wstring& filter,
                                  const std::wstring& defaultExtension, std::wstring* path) {
  auto answer = Next({L"open file", title, filter, defaultExtension, L""});
  if (!answer.ok || path == nullptr || answer.paths.empty()) return false;
  *path = answer.paths.front();
  return true;
}

bool CTkScriptedDialogs::SaveFile(const std::wstring& title, const std::wstring& filter,
                                  const std::wstring& defaultExtension,
                                  const std::wstring& initialPath, std::wstring* path) {
  auto answer = Next({L"save file", title, filter, defaultExtension, initialPath});
  if (!answer.ok || path == nullptr || answer.paths.empty()) return false;
  *path = answer.paths.front();
  return true;
}
