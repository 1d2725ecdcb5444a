// The Properties window: the selected item's texts, or empty fields when the
// facade has no single selected item.
#include "ui/DlgProperty.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class DlgPropertyTest : public ::testing::Test {
 protected:
  std::vector<QString> Shown() const {
    return {window_.fileNameEdit()->text(), window_.titleEdit()->text(),
            window_.artistEdit()->text()};
  }

  // What the facade answers: `result`, and `item` when that is 0.
  std::int32_t result_ = 0;
  TkItemInfo item_;
  int asked_ = 0;
  ui::CDlgProperty window_{[this](TkItemInfo* info) {
    ++asked_;
    if (result_ == 0) *info = item_;
    return result_;
  }};
};

TEST_F(DlgPropertyTest, ShowsTheSelectedItemEmptiesOnAnErrorAndOkHides) {
  EXPECT_EQ(window_.windowTitle(), "Properties");
  EXPECT_FALSE(window_.isModal());
  item_.fileName = L"/music/\u97f3\u697d/01 Overture.dsf";
  item_.title = L"Overture";
  item_.artist = L"The Quartet";
  window_.ShowItem();
  window_.show();
  EXPECT_EQ(asked_, 1);
  EXPECT_EQ(Shown(), (std::vector<QString>{QString::fromStdWString(item_.fileName), "Overture",
                                           "The Quartet"}));
  for (const QLineEdit* edit : {window_.fileNameEdit(), window_.titleEdit(), window_.artistEdit()})
    EXPECT_TRUE(edit->isReadOnly());

  // No single selected row (the facade answers -3), then no facade at all.
  result_ = -3;
  item_.title = L"Not shown";
  window_.ShowItem();
  EXPECT_EQ(Shown(), (std::vector<QString>(3)));
  ui::CDlgProperty unconnected(nullptr);
  unconnected.ShowItem();
  EXPECT_TRUE(unconnected.titleEdit()->text().isEmpty());

  // OK hides the window; it stays for the next item.
  auto* ok = window_.findChild<QPushButton*>();
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_FALSE(window_.isVisible());
  result_ = 0;
  window_.ShowItem();
  EXPECT_EQ(window_.titleEdit()->text(), "Not shown");
}

}  // namespace
