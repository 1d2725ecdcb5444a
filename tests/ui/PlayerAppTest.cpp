// The application: one instance per user, files handed over from a second
// start, and errors from any thread collected in one window.
#include "ui/PlayerApp.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUuid>
#include <QWidget>
#include <thread>

#include "app/AppConfigData.h"
#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"
#include "ui/DlgErrorNotify.h"

namespace {

// A main window that records the files handed to it.
class RecordingWindow : public ui::IMainWindow {
 public:
  QWidget* Window() override { return &widget; }
  void OnFilesForwarded(const std::wstring& files) override { forwarded.push_back(files); }
  QWidget widget;
  std::vector<std::wstring> forwarded;
};

class PlayerAppTest : public ::testing::Test {
 protected:
  // No driver is installed, so the first start picks none.
  void SetUp() override {
    setenv("XDG_DATA_HOME", temp_.File("first").c_str(), 1);
    setenv("QP_ASIO_DRIVER_DIR", temp_.path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    unsetenv("QP_ASIO_DRIVER_DIR");
  }

  std::unique_ptr<ui::CQDXDSDPlayerApp> MakeApp(RecordingWindow** window = nullptr) {
    return std::make_unique<ui::CQDXDSDPlayerApp>(
        [window](ui::CQDXDSDPlayerApp&) {
          auto made = std::make_unique<RecordingWindow>();
          if (window != nullptr) *window = made.get();
          return made;
        },
        name_);
  }

  fixtures::TempDir temp_;
  QString name_ = "qp-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
};

TEST_F(PlayerAppTest, ASecondStartHandsItsFilesToTheFirstAndEnds) {
  RecordingWindow* window = nullptr;
  auto first = MakeApp(&window);
  ASSERT_TRUE(first->InitInstance({"one.wav", "-x"}));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->widget.isVisible());
  for (int size : {16, 32, 48, 64, 128, 256})
    EXPECT_TRUE(window->widget.windowIcon().availableSizes().contains(QSize(size, size)))
        << "the program icon at " << size;
  EXPECT_EQ(window->forwarded, (std::vector<std::wstring>{L"one.wav"}))
      << "the first start hands its own files to its window";
  EXPECT_EQ(first->GetConfig()->device.value, L"");
  EXPECT_EQ(first->dataFolder(),
            platform::FromUtf8(temp_.File("first")) + L"/Corvane/Quorelle Player");

  setenv("XDG_DATA_HOME", temp_.File("second").c_str(), 1);
  auto second = MakeApp();
  EXPECT_FALSE(second->InitInstance({"aaaaa", "-flag", "bbbbb"}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->forwarded.size() == 2; }, 5000));
  EXPECT_EQ(window->forwarded.back(), L"aaaaa|bbbbb");
  EXPECT_EQ(second->GetConfig(), nullptr) << "a second instance reads no settings";
  EXPECT_FALSE(std::filesystem::exists(temp_.File("second")));

  auto third = MakeApp();
  EXPECT_FALSE(third->InitInstance({"--flag"}));
  QTest::qWait(100);
  EXPECT_EQ(window->forwarded.size(), 2u) << "a flag alone hands over nothing";
}

TEST_F(PlayerAppTest, ErrorsFromAnyThreadAccumulateInOneWindow) {
  auto app = MakeApp();
  ASSERT_TRUE(app->InitInstance({}));
  std::thread playback([] {
    for (const wchar_t* text : {L"first", L"second", L"third"})
      platform::ReportAppError(text);
  });
  playback.join();
  EXPECT_EQ(app->errorWindow(), nullptr) << "shown on the window thread, not the caller's";
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return app->errorWindow() != nullptr && app->errorWindow()->text().size() > 12; },
      5000));
  ui::CDlgErrorNotify* window = app->errorWindow();
  EXPECT_EQ(window->text(), "first\r\nsecond\r\nthird");
  EXPECT_TRUE(window->isVisible());

  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->text().isEmpty());
  app->ReportError(L"fourth");
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 5000));
  EXPECT_EQ(app->errorWindow(), window) << "created once";
  EXPECT_EQ(window->text(), "fourth");

  app->ExitInstance();
  platform::ReportAppError(L"after the end");
  QCoreApplication::processEvents();
  EXPECT_EQ(window->text(), "fourth");
}

TEST(DlgErrorNotifyTest, KeepsItsMinimumSizeAndItsButtonInTheCorner) {
  ui::CDlgErrorNotify window;
  window.show();
  window.resize(100, 100);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.size(), QSize(200, 150));
  QPushButton* close = window.findChild<QPushButton*>();
  ASSERT_NE(close, nullptr);
  const QPoint fromCorner =
      QPoint(window.width(), window.height()) - close->geometry().bottomRight();
  const QSize buttonSize = close->size();
  window.resize(600, 400);
  QCoreApplication::processEvents();
  EXPECT_EQ(QPoint(window.width(), window.height()) - close->geometry().bottomRight(), fromCorner);
  EXPECT_EQ(close->size(), buttonSize);
  EXPECT_GT(window.findChild<QPlainTextEdit*>()->width(), 500);
}

}  // namespace
