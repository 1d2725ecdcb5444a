#pragma once

#include <string>
#include <vector>

// The file dialogs the facade runs, parented to the player's window. A
// filter is "description|patterns|description|patterns|...|" with the
// patterns separated by ';'. Each call answers false when the user cancels.
class ITkFileDialogs {
 public:
  virtual ~ITkFileDialogs() = default;
  // Existing files, several at once, in the order the dialog returns them.
  virtual bool OpenFiles(const std::wstring& title, const std::wstring& filter,
                         std::vector<std::wstring>* paths) = 0;
  // One existing file.
  virtual bool OpenFile(const std::wstring& title, const std::wstring& filter,
                        const std::wstring& defaultExtension, std::wstring* path) = 0;
  // A file to write, starting from `initialPath`; the dialog asks before an
  // existing file is replaced.
  virtual bool SaveFile(const std::wstring& title, const std::wstring& filter,
                        const std::wstring& defaultExtension, const std::wstring& initialPath,
                        std::wstring* path) = 0;
};
