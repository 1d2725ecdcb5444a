#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "app/AppConfigData.h"
#include "app/OutputDevices.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimer;

namespace ui {

// The Preferences dialog: output device, DSD decode mode and audio data
// handling, edited on a private copy of the settings. While it is open the
// device list follows devices as they come and go (a probe every second).
class CDlgConfig : public QDialog {
 public:
  CDlgConfig(std::shared_ptr<IOutputDevices> devices, QWidget* parent = nullptr);

  void AssignConfig(const CAppConfigData& config) { *config_ = config; }
  const CAppConfigData& GetConfig() const { return *config_; }

  // Lists the devices that open now; unless forced, only when the list
  // changed since the last refresh.
  void Refresh(bool forced);

  QComboBox* deviceList() const { return devices_; }
  QRadioButton* dopButton() const { return dop_; }
  QRadioButton* nativeButton() const { return native_; }
  QRadioButton* ramNormalButton() const { return ramNormal_; }
  QRadioButton* ramExpandButton() const { return ramExpand_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void BuildControls();
  void Initialise();
  void OnDeviceChosen(int index);
  void UpdateDecodeChoice(const QString& name);
  void Accept();

  std::shared_ptr<IOutputDevices> deviceSource_;
  std::shared_ptr<CAppConfigData> config_ = std::make_shared<CAppConfigData>();
  QString pendingDevice_;
  std::int32_t pendingThreshold_ = 0;
  std::int32_t pendingDecodeMode_ = 0;
  std::int32_t pendingRamMode_ = 0;
  bool pendingGapless_ = false;
  std::vector<OutputDeviceEntry> lastCatalogue_;
  QStringList lastShown_;
  bool initialised_ = false;

  QLabel* deviceLabel_;
  QComboBox* devices_;
  QGroupBox* decodeGroup_;
  QRadioButton* dop_;
  QRadioButton* native_;
  QGroupBox* ramGroup_;
  QRadioButton* ramNormal_;
  QRadioButton* ramExpand_;
  // The MP3 gapless settings are never shown but go through the dialog like
  // the others, so OK keeps them.
  QGroupBox* gaplessGroup_;
  QCheckBox* gapless_;
  QLineEdit* threshold_;
  QTimer* probe_;
};

}  // namespace ui
