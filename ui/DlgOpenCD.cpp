#include "ui/DlgOpenCD.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "platform/Paths.h"
#include "platform/StringTable.h"
#include "sources/MusicDataCDDA.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr int kShownNameCharacters = 32;

struct AudioCd {
  std::wstring path;
  bool image = false;
};

bool HoldsAudioTracks(const std::wstring& path) {
  CMusicDataCDDA source;
  std::int32_t tracks = 0;
  return source.Open({path, false, 0.0}) == kMusicOk && source.GetTrackCount(&tracks) == kMusicOk &&
         tracks > 0;
}

// The drives first, then the images, each candidate once.
std::vector<AudioCd> FindAudioCds(const std::vector<std::wstring>& drives,
                                  const std::vector<std::wstring>& images) {
  std::vector<AudioCd> found;
  auto consider = [&](const std::wstring& path, bool image) {
    const bool seen =
        std::any_of(found.begin(), found.end(), [&](const AudioCd& cd) { return cd.path == path; });
    if (!seen && HoldsAudioTracks(path)) found.push_back({path, image});
  };
  for (const std::wstring& drive : drives)
    consider(drive, false);
  for (const std::wstring& image : images)
    consider(image, true);
  return found;
}

}  // namespace

CDlgOpenCD::CDlgOpenCD(std::vector<std::wstring> images, QWidget* parent, CdDriveLister listDrives)
    : QDialog(parent), images_(std::move(images)), listDrives_(std::move(listDrives)) {
  setWindowTitle(ResourceText(platform::IDS_TITLE_OPEN_CD, "Open audio CD"));
  label_ = new QLabel(ResourceText(platform::IDC_OPEN_CD_LABEL, "Found CD drives"), this);
  drives_ = new QComboBox(this);
  drives_->setMinimumContentsLength(kShownNameCharacters);
  drives_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  label_->setBuddy(drives_);

  auto* buttons = new QDialogButtonBox(this);
  ok_ =
      buttons->addButton(ResourceText(platform::IDS_BUTTON_OK, "OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(ResourceText(platform::IDS_BUTTON_CANCEL, "Cancel"),
                     QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgOpenCD::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(drives_);
  layout->addSpacing(6);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgOpenCD::showEvent(QShowEvent* event) {
  // Every time the dialog opens, not when it comes back from being minimised.
  if (!event->spontaneous()) ListAudioCds();
  QDialog::showEvent(event);
}

void CDlgOpenCD::ListAudioCds() {
  drives_->clear();
  const std::vector<AudioCd> found =
      FindAudioCds(listDrives_ ? listDrives_() : std::vector<std::wstring>{}, images_);
  std::map<std::wstring, int> imageNames;
  for (const AudioCd& cd : found) {
    if (cd.image) ++imageNames[platform::FileName(cd.path)];
  }
  for (const AudioCd& cd : found) {
    const std::wstring name = platform::FileName(cd.path);
    const bool byFileName = cd.image && imageNames[name] == 1;
    const QString path = QString::fromStdWString(cd.path);
    drives_->addItem(byFileName ? QString::fromStdWString(name) : path, path);
    drives_->setItemData(drives_->count() - 1, path, Qt::ToolTipRole);
  }
  drives_->setCurrentIndex(found.empty() ? -1 : 0);
  ok_->setEnabled(!found.empty());
}

void CDlgOpenCD::Accept() {
  if (drives_->currentIndex() < 0) return;
  drive_ = drives_->currentData().toString().toStdWString();
  accept();
}

}  // namespace ui
