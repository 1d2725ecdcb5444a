#pragma once

#include <QString>

#include "core/TkFileDialogs.h"

class QWidget;

namespace ui {

// The facade's file dialogs as the desktop's own, parented to the player.
class CQtFileDialogs : public ITkFileDialogs {
 public:
  explicit CQtFileDialogs(QWidget* owner) : owner_(owner) {}

  bool OpenFiles(const std::wstring& title, const std::wstring& filter,
                 std::vector<std::wstring>* paths) override;
  bool OpenFile(const std::wstring& title, const std::wstring& filter,
                const std::wstring& defaultExtension, std::wstring* path) override;
  bool SaveFile(const std::wstring& title, const std::wstring& filter,
                const std::wstring& defaultExtension, const std::wstring& initialPath,
                std::wstring* path) override;

  // "desc|*.a;*.b;|desc2|*.c;||" as Qt's "desc (*.a *.b);;desc2 (*.c)".
  static QString QtFilter(const std::wstring& filter);

 private:
  QWidget* const owner_;
};

}  // namespace ui
