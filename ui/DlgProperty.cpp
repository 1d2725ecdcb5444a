#include "ui/DlgProperty.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/StringTable.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr int kFieldCharacters = 60;

}  // namespace

CDlgProperty::CDlgProperty(SelectedItemSource selectedItem, QWidget* parent)
    : QDialog(parent), selectedItem_(std::move(selectedItem)) {
  setModal(false);
  setWindowTitle(ResourceText(platform::IDS_TITLE_PROPERTIES, "Properties"));

  auto* layout = new QVBoxLayout(this);
  auto field = [&](unsigned labelId, const char* labelText) {
    auto* label = new QLabel(ResourceText(labelId, labelText), this);
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(true);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * kFieldCharacters);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addSpacing(4);
    return edit;
  };
  fileName_ = field(platform::IDC_PROPERTY_FILENAME, "Filename");
  title_ = field(platform::IDC_PROPERTY_TITLE, "Title");
  artist_ = field(platform::IDC_PROPERTY_ARTIST, "Artist");

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ResourceText(platform::IDS_BUTTON_OK, "OK"), QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgProperty::ShowItem() {
  TkItemInfo info;
  if (!selectedItem_ || selectedItem_(&info) != 0) info = TkItemInfo();
  fileName_->setText(QString::fromStdWString(info.fileName));
  title_->setText(QString::fromStdWString(info.title));
  artist_->setText(QString::fromStdWString(info.artist));
  // Long texts show from their beginning.
  for (QLineEdit* edit : {fileName_, title_, artist_})
    edit->setCursorPosition(0);
}

}  // namespace ui
