// The About box: version texts and the list of the plug-ins a plug-in
// registry holds, as the facade hands them over.
#include "ui/DlgAboutbox.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AppVersionInfo.h"
#include "platform/TextConv.h"
#include "sources/PluginCtrl.h"
#include "ui/ExListCtrl.h"

namespace {

using Row = std::vector<QString>;

std::vector<Row> Rows(const ui::CDlgAboutbox& box) {
  std::vector<Row> rows;
  const ui::CExListCtrl* list = box.pluginList();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    rows.push_back({item->text(0), item->text(1), item->text(2)});
  }
  return rows;
}

TEST(DlgAboutboxTest, ShowsTheVersionAndOneRowPerLoadedPlugin) {
  CPluginCtrl registry;
  ASSERT_EQ(registry.LoadPluginsFrom(platform::FromUtf8(QP_PLUGIN_DIR)), 0);
  // What the facade's plug-in list does: one record per registry entry.
  ui::CDlgAboutbox box([&registry](TkPluginList* list) {
    for (std::size_t i = 0; i < registry.PluginCount(); ++i)
      list->push_back(
          {registry.PluginName(i), registry.PluginExtensions(i), registry.PluginVersion(i)});
    return 0;
  });
  box.show();

  EXPECT_EQ(box.windowTitle(), "About Corvane Quorelle Player");
  const CAppVersionInfo version;
  ASSERT_FALSE(version.fileVersion.empty());
  EXPECT_EQ(box.versionLabel()->text(), "Version " + QString::fromStdWString(version.fileVersion));
  EXPECT_EQ(box.productLabel()->text(), QString::fromStdWString(version.productName));
  EXPECT_EQ(box.legalLabel()->text(), QString::fromStdWString(version.legalCopyright));

  const ui::CExListCtrl* list = box.pluginList();
  ASSERT_EQ(list->columnCount(), 3);
  const struct {
    QString header;
    int width;
  } columns[] = {{"Plugin name", 150}, {"Extension", 150}, {"Version", 110}};
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(list->headerItem()->text(c), columns[c].header);
    EXPECT_EQ(list->columnWidth(c), columns[c].width);
  }
  EXPECT_EQ(list->MinColumnWidth(), 50);
  EXPECT_EQ(Rows(box), (std::vector<Row>{{"DFF Plugin", "DFF", "1.0.0"},
                                         {"DSF Plugin", "DSF", "1.0.2"},
                                         {"FLAC Plugin", "FLAC", "1.0.0"}}));
  EXPECT_GE(list->viewport()->width(), 150 + 150 + 110) << "the columns fit without scrolling";

  for (auto* button : box.findChildren<QPushButton*>()) {
    if (button->text() == "OK") QTest::mouseClick(button, Qt::LeftButton);
  }
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(DlgAboutboxTest, AFailedPluginListLeavesTheListEmpty) {
  const ui::PluginListSource failing[] = {
      [](TkPluginList*) { return -1; },
      // Records written before the failure are not shown either.
      [](TkPluginList* list) {
        list->push_back({L"Half", L"HLF", L"0.1"});
        return -3;
      },
      nullptr,
  };
  for (const auto& source : failing) {
    ui::CDlgAboutbox box(source);
    EXPECT_TRUE(Rows(box).empty());
    EXPECT_EQ(box.pluginList()->columnCount(), 3);
  }
}

}  // namespace
