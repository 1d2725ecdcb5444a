#include "ui/DlgErrorNotify.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/StringTable.h"
#include "ui/ResourceText.h"

namespace ui {

CDlgErrorNotify::CDlgErrorNotify(QWidget* owner) : QDialog(owner) {
  setModal(false);
  setWindowTitle(ResourceText(platform::IDS_TITLE_ERROR, "Error"));
  setFont(QFont("Tahoma", 9));
  setMinimumSize(200, 150);
  resize(428, 211);
  edit_ = new QPlainTextEdit(this);
  edit_->setReadOnly(true);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* close = new QPushButton(ResourceText(platform::IDS_BUTTON_CLOSE, "Close"), this);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  // The text grows with the window; the button keeps its size in the
  // bottom-right corner.
  auto* layout = new QGridLayout(this);
  layout->addWidget(edit_, 0, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(0, 1);
  layout->addWidget(close, 1, 1);
}

void CDlgErrorNotify::AppendText(const QString& text) {
  if (!text_.isEmpty()) text_ += QStringLiteral("\r\n");
  text_ += text;
  edit_->setPlainText(text_);
}

void CDlgErrorNotify::closeEvent(QCloseEvent* event) {
  text_.clear();
  edit_->clear();
  hide();
  event->ignore();  // the window stays for the next error
}

}  // namespace ui
