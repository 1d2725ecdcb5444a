#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace ui {

// The window that collects error messages, one per line, until the user
// closes it; closing empties it and the next error starts a new text.
class CDlgErrorNotify : public QDialog {
 public:
  explicit CDlgErrorNotify(QWidget* owner = nullptr);

  void AppendText(const QString& text);
  QString text() const { return text_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QString text_;
  QPlainTextEdit* edit_;
};

}  // namespace ui
