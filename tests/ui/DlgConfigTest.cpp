// The Preferences dialog over a device list the test changes, as devices
// come and go.
#include "ui/DlgConfig.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <set>

namespace {

// Devices present (in catalogue order) and the ones that open.
class ChangingDevices : public IOutputDevices {
 public:
  std::vector<OutputDeviceEntry> Catalogue() override { return present; }
  bool CanOpen(const std::wstring& name) override { return openable.count(name) != 0; }

  void Plug(const std::wstring& name, std::uint8_t flags = kDeviceBothDsdModes) {
    present.push_back({name, flags});
    openable.insert(name);
  }
  void Unplug() {
    present.clear();
    openable.clear();
  }
  std::vector<OutputDeviceEntry> present;
  std::set<std::wstring> openable;
};

const std::wstring kDac = L"Corvane USB DAC AMP(KLM)";
const std::wstring kEndpoint = L"WASAPI: Speakers (Corvane USB DAC)";

class DlgConfigTest : public ::testing::Test {
 protected:
  // Opens the dialog on settings with `device`, decode mode `decodeMode`.
  void Open(const std::wstring& device, std::int32_t decodeMode = 1) {
    CAppConfigData config;
    config.device.value = device;
    config.decodeMode.value = decodeMode;
    config.ramMode.value = 1;
    config.thrGapless.value = -300;
    config.mp3Gapless.value = true;
    dialog_.AssignConfig(config);
    dialog_.show();
  }
  QStringList Listed() const {
    QStringList names;
    for (int i = 0; i < dialog_.deviceList()->count(); ++i)
      names << dialog_.deviceList()->itemText(i);
    return names;
  }
  void Choose(int index) {
    dialog_.deviceList()->setCurrentIndex(index);
    emit dialog_.deviceList()->activated(index);
  }
  // Clicks the button with `text`; true when that ended the dialog.
  bool Click(const QString& text) {
    for (auto* button : dialog_.findChildren<QPushButton*>()) {
      if (button->text() == text) QTest::mouseClick(button, Qt::LeftButton);
    }
    return !dialog_.isVisible();
  }
  static bool Enabled(const QRadioButton* b) { return b->isEnabled(); }

  std::shared_ptr<ChangingDevices> devices_ = std::make_shared<ChangingDevices>();
  ui::CDlgConfig dialog_{devices_};
};

TEST_F(DlgConfigTest, WithNoDeviceNothingIsListedAndOkDoesNothing) {
  Open(L"");
  EXPECT_TRUE(Listed().isEmpty());
  EXPECT_FALSE(Enabled(dialog_.dopButton()));
  EXPECT_FALSE(Enabled(dialog_.nativeButton()));
  EXPECT_FALSE(Click("OK"));
  EXPECT_EQ(dialog_.GetConfig().device.value, L"");
  EXPECT_TRUE(Click("Cancel"));
  EXPECT_EQ(dialog_.result(), QDialog::Rejected);
}

TEST_F(DlgConfigTest, APluggedInDeviceAppearsAndTheStoredOneIsSelected) {
  Open(kDac, 0);
  EXPECT_EQ(dialog_.deviceList()->currentIndex(), -1) << "the stored device is not present";
  devices_->Plug(L"Other DAC");
  devices_->present.push_back({L"Unopenable DAC", kDeviceBothDsdModes});  // busy elsewhere
  devices_->Plug(kDac);
  dialog_.Refresh(false);  // the once-a-second probe
  EXPECT_EQ(Listed(), (QStringList{"Other DAC", QString::fromStdWString(kDac)}));
  EXPECT_EQ(dialog_.deviceList()->currentText(), QString::fromStdWString(kDac));
  EXPECT_TRUE(Enabled(dialog_.dopButton()));
  EXPECT_TRUE(Enabled(dialog_.nativeButton()));
  EXPECT_TRUE(dialog_.dopButton()->isChecked()) << "the stored decode mode";

  // An unchanged list leaves the user's choice alone.
  Choose(0);
  dialog_.Refresh(false);
  EXPECT_EQ(dialog_.deviceList()->currentIndex(), 0);
}

TEST_F(DlgConfigTest, DevicesWithoutBothDsdModesLimitTheChoice) {
  devices_->Plug(kDac);
  devices_->Plug(kEndpoint, 0);
  devices_->Plug(L"PCM DAC", 0);
  Open(kDac, 1);
  ASSERT_EQ(Listed().size(), 3);
  const struct {
    int index;
    bool dopEnabled, nativeEnabled, dopChecked, nativeChecked;
  } cases[] = {
      {1, false, false, true, false},  // a desktop endpoint: PCM only
      {2, false, true, false, true},   // native DSD only
      {0, true, true, false, true},    // both, as stored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    Choose(c.index);
    EXPECT_EQ(Enabled(dialog_.dopButton()), c.dopEnabled);
    EXPECT_EQ(Enabled(dialog_.nativeButton()), c.nativeEnabled);
    EXPECT_EQ(dialog_.dopButton()->isChecked(), c.dopChecked);
    EXPECT_EQ(dialog_.nativeButton()->isChecked(), c.nativeChecked);
  }
}

TEST_F(DlgConfigTest, OkWritesTheChoicesAndKeepsTheHiddenGaplessSettings) {
  devices_->Plug(L"Other DAC");
  devices_->Plug(kDac);
  Open(L"Missing DAC", 1);
  EXPECT_EQ(dialog_.deviceList()->currentIndex(), -1);
  EXPECT_FALSE(Enabled(dialog_.nativeButton()));
  EXPECT_FALSE(Click("OK")) << "OK needs a selection";
  Choose(1);
  EXPECT_TRUE(Enabled(dialog_.dopButton()));
  dialog_.dopButton()->click();
  dialog_.ramNormalButton()->click();
  EXPECT_TRUE(Click("OK"));
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  const CAppConfigData& config = dialog_.GetConfig();
  EXPECT_EQ(config.device.value, kDac);
  EXPECT_EQ(config.decodeMode.value, 0);
  EXPECT_EQ(config.ramMode.value, 0);
  EXPECT_EQ(config.thrGapless.value, -300) << "saved as the field reads, unchecked";
  EXPECT_TRUE(config.mp3Gapless.value);
}

TEST_F(DlgConfigTest, CancelWritesNothing) {
  devices_->Plug(kDac);
  Open(kDac, 1);
  dialog_.dopButton()->click();
  dialog_.ramNormalButton()->click();
  EXPECT_TRUE(Click("Cancel"));
  EXPECT_EQ(dialog_.GetConfig().decodeMode.value, 1);
  EXPECT_EQ(dialog_.GetConfig().ramMode.value, 1);
}

}  // namespace
