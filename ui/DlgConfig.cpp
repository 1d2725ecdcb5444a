#include "ui/DlgConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/OutputDevices.h"
#include "output/EngineSettings.h"
#include "platform/StringTable.h"
#include "ui/ResourceText.h"

namespace ui {
namespace {

constexpr int kProbeMilliseconds = 1000;
// The stored decode modes.

}  // namespace

CDlgConfig::CDlgConfig(std::shared_ptr<IOutputDevices> devices, QWidget* parent)
    : QDialog(parent), deviceSource_(std::move(devices)) {
  BuildControls();
  probe_ = new QTimer(this);
  probe_->setInterval(kProbeMilliseconds);
  connect(probe_, &QTimer::timeout, this, [this] { Refresh(false); });
}

void CDlgConfig::BuildControls() {
  setWindowTitle(ResourceText(platform::IDS_TITLE_PREFERENCES, "Preferences"));
  setFont(QFont("Tahoma", 10));

  deviceLabel_ = new QLabel(ResourceText(platform::IDC_CONFIG_DEVICE, "Device"), this);
  devices_ = new QComboBox(this);
  devices_->setMinimumContentsLength(32);
  connect(devices_, &QComboBox::activated, this, &CDlgConfig::OnDeviceChosen);

  decodeGroup_ =
      new QGroupBox(ResourceText(platform::IDC_CONFIG_DECODE_GROUP, "Decode mode"), this);
  dop_ = new QRadioButton(ResourceText(platform::IDC_CONFIG_DOP, "DSD over PCM"), decodeGroup_);
  native_ = new QRadioButton(ResourceText(platform::IDC_CONFIG_NATIVE, "DSD Native"), decodeGroup_);
  connect(dop_, &QRadioButton::clicked, this, [this] { pendingDecodeMode_ = kDecodeDop; });
  connect(native_, &QRadioButton::clicked, this, [this] { pendingDecodeMode_ = kDecodeNative; });
  auto* decodeLayout = new QVBoxLayout(decodeGroup_);
  decodeLayout->addWidget(dop_);
  decodeLayout->addWidget(native_);

  ramGroup_ =
      new QGroupBox(ResourceText(platform::IDC_CONFIG_RAM_GROUP, "Audio Data Handling"), this);
  ramNormal_ = new QRadioButton(ResourceText(platform::IDC_CONFIG_RAM_NORMAL, "Normal"), ramGroup_);
  ramExpand_ = new QRadioButton(
      ResourceText(platform::IDC_CONFIG_RAM_EXPAND, "Expand to RAM [Needs more memory]"),
      ramGroup_);
  auto* ramLayout = new QVBoxLayout(ramGroup_);
  ramLayout->addWidget(ramNormal_);
  ramLayout->addWidget(ramExpand_);

  gaplessGroup_ = new QGroupBox(
      ResourceText(platform::IDC_CONFIG_MP3_GAPLESS_GROUP, "MP3 Gapless Playback"), this);
  gapless_ = new QCheckBox(ResourceText(platform::IDC_CONFIG_MP3_GAPLESS, "Enable"), gaplessGroup_);
  threshold_ = new QLineEdit(gaplessGroup_);
  threshold_->setReadOnly(true);
  auto* gaplessLayout = new QHBoxLayout(gaplessGroup_);
  gaplessLayout->addWidget(gapless_);
  gaplessLayout->addWidget(new QLabel(
      ResourceText(platform::IDC_CONFIG_THRESHOLD_LABEL, "Gapless Threshold"), gaplessGroup_));
  gaplessLayout->addWidget(threshold_);
  gaplessLayout->addWidget(
      new QLabel(ResourceText(platform::IDC_CONFIG_THRESHOLD_UNIT, "dB"), gaplessGroup_));
  gaplessGroup_->setEnabled(false);
  gaplessGroup_->hide();

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ResourceText(platform::IDS_BUTTON_OK, "OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(ResourceText(platform::IDS_BUTTON_CANCEL, "Cancel"),
                     QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgConfig::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  auto* deviceRow = new QHBoxLayout;
  deviceRow->addWidget(deviceLabel_);
  deviceRow->addWidget(devices_, 1);
  layout->addLayout(deviceRow);
  layout->addWidget(decodeGroup_);
  layout->addWidget(ramGroup_);
  layout->addWidget(gaplessGroup_);
  layout->addWidget(buttons);
}

void CDlgConfig::showEvent(QShowEvent* event) {
  if (!initialised_) Initialise();
  QDialog::showEvent(event);
}

void CDlgConfig::Initialise() {
  initialised_ = true;
  pendingDevice_ = QString::fromStdWString(config_->device.value);
  pendingThreshold_ = config_->thrGapless.value;
  pendingDecodeMode_ = config_->decodeMode.value;
  pendingRamMode_ = config_->ramMode.value;
  pendingGapless_ = config_->mp3Gapless.value;
  Refresh(true);
  threshold_->setText(QString::number(pendingThreshold_));
  (pendingDecodeMode_ == kDecodeDop ? dop_ : native_)->setChecked(true);
  (pendingRamMode_ == 0 ? ramNormal_ : ramExpand_)->setChecked(true);
  gapless_->setChecked(pendingGapless_);
  probe_->start();
}

void CDlgConfig::Refresh(bool forced) {
  lastCatalogue_ = deviceSource_->Catalogue();
  QStringList shown;
  for (const auto& entry : lastCatalogue_) {
    if (deviceSource_->CanOpen(entry.name)) shown << QString::fromStdWString(entry.name);
  }
  if (!forced && shown == lastShown_) return;
  devices_->clear();
  devices_->addItems(shown);
  const int selected = shown.indexOf(pendingDevice_);
  devices_->setCurrentIndex(selected);
  UpdateDecodeChoice(selected >= 0 ? pendingDevice_ : QString());
  lastShown_ = shown;
}

void CDlgConfig::OnDeviceChosen(int index) {
  const QString name = devices_->itemText(index);
  if (!name.isEmpty()) pendingDevice_ = name;
  UpdateDecodeChoice(name);
}

void CDlgConfig::UpdateDecodeChoice(const QString& name) {
  if (name.isEmpty()) {
    dop_->setEnabled(false);
    native_->setEnabled(false);
    return;
  }
  native_->setEnabled(true);
  const auto entry = std::find_if(lastCatalogue_.begin(), lastCatalogue_.end(), [&](const auto& e) {
    return QString::fromStdWString(e.name) == name;
  });
  if (entry != lastCatalogue_.end() && (entry->flags & kDeviceBothDsdModes) != 0) {
    dop_->setEnabled(true);
    if (pendingDecodeMode_ == kDecodeDop) dop_->setChecked(true);
    if (pendingDecodeMode_ == kDecodeNative) native_->setChecked(true);
  } else if (name.startsWith("WASAPI:")) {
    // A desktop endpoint carries PCM only.
    dop_->setEnabled(false);
    native_->setEnabled(false);
    dop_->setChecked(true);
  } else {
    dop_->setEnabled(false);
    native_->setChecked(true);
  }
}

void CDlgConfig::Accept() {
  if (devices_->currentIndex() < 0) return;
  pendingDevice_ = devices_->currentText();
  config_->device.value = pendingDevice_.toStdWString();
  config_->thrGapless.value = threshold_->text().left(15).toInt();
  config_->decodeMode.value = dop_->isChecked() ? kDecodeDop : kDecodeNative;
  config_->ramMode.value = ramNormal_->isChecked() ? 0 : 1;
  config_->mp3Gapless.value = gapless_->isChecked();
  accept();
}

void CDlgConfig::done(int result) {
  probe_->stop();
  QDialog::done(result);
}

}  // namespace ui
