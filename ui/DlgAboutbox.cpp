#include "ui/DlgAboutbox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

#include "app/AppVersionInfo.h"
#include "platform/StringTable.h"
#include "ui/ExListCtrl.h"
#include "ui/ProgramIcon.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr int kIconSize = 48;
constexpr int kMinColumnWidth = 50;
constexpr int kNameColumnWidth = 150;
constexpr int kExtensionColumnWidth = 150;
constexpr int kVersionColumnWidth = 110;
constexpr int kVisiblePluginRows = 5;

}  // namespace

CDlgAboutbox::CDlgAboutbox(const PluginListSource& plugins, QWidget* parent) : QDialog(parent) {
  setWindowTitle(ResourceText(platform::IDS_TITLE_ABOUT, "About"));

  const CAppVersionInfo versionInfo;
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(kIconSize, kIconSize));
  product_ = new QLabel(QString::fromStdWString(versionInfo.productName), this);
  QFont bold = product_->font();
  bold.setBold(true);
  product_->setFont(bold);
  version_ = new QLabel(ResourceText(platform::IDC_ABOUT_VERSION, "Version") + ' ' +
                            QString::fromStdWString(versionInfo.fileVersion),
                        this);
  legal_ = new QLabel(QString::fromStdWString(versionInfo.legalCopyright), this);

  plugins_ = new CExListCtrl(this);
  plugins_->SetOwnerDraw(false);
  plugins_->setSelectionMode(QAbstractItemView::SingleSelection);
  plugins_->setHeaderLabels({ResourceText(platform::IDS_COLUMN_PLUGIN_NAME, "Plugin name"),
                             ResourceText(platform::IDS_COLUMN_PLUGIN_EXTENSION, "Extension"),
                             ResourceText(platform::IDS_COLUMN_PLUGIN_VERSION, "Version")});
  plugins_->setColumnWidth(0, kNameColumnWidth);
  plugins_->setColumnWidth(1, kExtensionColumnWidth);
  plugins_->setColumnWidth(2, kVersionColumnWidth);
  plugins_->SetMinColumnWidth(kMinColumnWidth);
  // Room for the three columns and a few rows without scrolling.
  const int frame = 2 * plugins_->frameWidth();
  plugins_->setMinimumSize(kNameColumnWidth + kExtensionColumnWidth + kVersionColumnWidth + frame,
                           plugins_->header()->sizeHint().height() +
                               kVisiblePluginRows * (plugins_->fontMetrics().height() + 4) + frame);
  FillPluginList(plugins);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ResourceText(platform::IDS_BUTTON_OK, "OK"), QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  layout->addWidget(product_, 0, 1);
  layout->addWidget(version_, 1, 1);
  layout->addWidget(legal_, 2, 1);
  layout->addWidget(plugins_, 3, 0, 1, 2);
  layout->addWidget(buttons, 4, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(3, 1);
  layout->setHorizontalSpacing(12);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgAboutbox::FillPluginList(const PluginListSource& source) {
  TkPluginList list;
  if (!source || source(&list) != 0) return;
  for (const TkPluginInfo& plugin : list) {
    plugins_->addTopLevelItem(new QTreeWidgetItem(QStringList{
        QString::fromStdWString(plugin.name), QString::fromStdWString(plugin.extensions),
        QString::fromStdWString(plugin.version)}));
  }
}

}  // namespace ui
