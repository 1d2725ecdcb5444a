#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "core/TkTypes.h"

class QLineEdit;

namespace ui {

// Fills the record of the playlist's selected item: 0, or an error code
// after which the record is not used.
using SelectedItemSource = std::function<std::int32_t(TkItemInfo*)>;

// The Properties window: file name, title and artist of the selected
// playlist item in read-only fields. Made once and kept; OK hides it.
class CDlgProperty : public QDialog {
 public:
  explicit CDlgProperty(SelectedItemSource selectedItem, QWidget* parent = nullptr);

  // Shows the selected item's texts, or empty fields when there is none; the
  // caller then shows the window.
  void ShowItem();

  QLineEdit* fileNameEdit() const { return fileName_; }
  QLineEdit* titleEdit() const { return title_; }
  QLineEdit* artistEdit() const { return artist_; }

 private:
  SelectedItemSource selectedItem_;
  QLineEdit* fileName_;
  QLineEdit* title_;
  QLineEdit* artist_;
};

}  // namespace ui
