#pragma once

#include <QLabel>

namespace ui {

// A line of text drawn straight onto the panel, with no background of its
// own: setting a new text redraws the panel under the old one at once.
class CStatusTextArea : public QLabel {
 public:
  explicit CStatusTextArea(QWidget* parent = nullptr);
  void SetText(const QString& text);
};

}  // namespace ui
