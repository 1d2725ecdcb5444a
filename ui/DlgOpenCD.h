#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/CdDevice.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace ui {

// Lists the CD drives of the machine by device name.
using CdDriveLister = std::function<std::vector<std::wstring>()>;

// Lets the user pick a CD drive or disc image that holds an audio CD. The
// candidates are the machine's CD drives and the disc images handed in
// (named on the command line, say); each time the dialog is shown it lists
// those on which an audio CD source finds at least one track: a drive by its
// device name, an image by its file name (its path where two images share a
// file name). On OK, `GetDrive()` is the device name or image path chosen.
class CDlgOpenCD : public QDialog {
 public:
  explicit CDlgOpenCD(std::vector<std::wstring> images = {}, QWidget* parent = nullptr,
                      CdDriveLister listDrives = platform::ListCdDrives);

  const std::wstring& GetDrive() const { return drive_; }

  QComboBox* driveList() const { return drives_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ListAudioCds();
  void Accept();

  std::vector<std::wstring> images_;
  CdDriveLister listDrives_;
  std::wstring drive_;
  QLabel* label_;
  QComboBox* drives_;
  QPushButton* ok_;
};

}  // namespace ui
