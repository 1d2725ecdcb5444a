#include "ui/QtFileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace ui {

QString CQtFileDialogs::QtFilter(const std::wstring& filter) {
  const QStringList parts = QString::fromStdWString(filter).split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    entries << parts[i] + " (" + patterns.join(u' ') + ")";
  }
  return entries.join(";;");
}

bool CQtFileDialogs::OpenFiles(const std::wstring& title, const std::wstring& filter,
                               std::vector<std::wstring>* paths) {
  const QStringList chosen = QFileDialog::getOpenFileNames(owner_, QString::fromStdWString(title),
                                                           QString(), QtFilter(filter));
  if (chosen.isEmpty() || paths == nullptr) return false;
  paths->clear();
  for (const QString& path : chosen)
    paths->push_back(path.toStdWString());
  return true;
}

bool CQtFileDialogs::OpenFile(const std::wstring& title, const std::wstring& filter,
                              const std::wstring&, std::wstring* path) {
  const QString chosen = QFileDialog::getOpenFileName(owner_, QString::fromStdWString(title),
                                                      QString(), QtFilter(filter));
  if (chosen.isEmpty() || path == nullptr) return false;
  *path = chosen.toStdWString();
  return true;
}

bool CQtFileDialogs::SaveFile(const std::wstring& title, const std::wstring& filter,
                              const std::wstring& defaultExtension, const std::wstring& initialPath,
                              std::wstring* path) {
  QFileDialog dialog(owner_, QString::fromStdWString(title),
                     QFileInfo(QString::fromStdWString(initialPath)).path(), QtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QString::fromStdWString(defaultExtension));
  if (!initialPath.empty()) dialog.selectFile(QString::fromStdWString(initialPath));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty() || path == nullptr) {
    return false;
  }
  *path = dialog.selectedFiles().front().toStdWString();
  return true;
}

}  // namespace ui
