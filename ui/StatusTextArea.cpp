#include "ui/StatusTextArea.h"

namespace ui {

CStatusTextArea::CStatusTextArea(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_NoSystemBackground);
}

void CStatusTextArea::SetText(const QString& text) {
  setText(text);
  // The panel under the whole label is drawn again before the new text, so
  // no part of a longer old text stays behind.
  if (QWidget* parent = parentWidget()) {
    parent->repaint(geometry());
  } else {
    repaint();
  }
}

}  // namespace ui
