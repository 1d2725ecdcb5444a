#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "output/AsioDriverList.h"
#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "output/DeviceSelection.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using asiotest::DriverRegistry;
using asiotest::kClassA;
using asiotest::kClassB;
using asiotest::kVirtualDac;

std::string NameOf(const InstalledAsioDrivers& list, int32_t id, std::size_t size = 256) {
  char buffer[256] = {};
  EXPECT_EQ(list.GetDriverName(id, buffer, size), 0);
  return buffer;
}

std::string InitName() {
  AsioDriverInfo info{};
  HostInit(&info);
  return info.name;
}

class AsioHostTest : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseAsioDrivers(); }
  DriverRegistry registry_;
  // A binding without a renderer library, as when none is installed.
  std::shared_ptr<CAsioWrapperImpl> binding_ = CAsioWrapperImpl::Create(L"/nonexistent");
};

TEST_F(AsioHostTest, TheListKeepsDriversWithAClassIdAndAnExistingLibrary) {
  const std::string forty(40, 'x');
  registry_.Add("1.ini", "Zeta Driver", kClassA, kVirtualDac);
  registry_.Add("2.ini", "Alpha", kClassA, kVirtualDac, "", "Described Alpha", true);
  registry_.Add("3.ini", "Gone", kClassA, registry_.File("deleted.so"));
  registry_.Add("4.ini", "No Class", "", kVirtualDac);
  registry_.Add("5.ini", forty, kClassB, kVirtualDac);
  registry_.Add("6.ini", "abcdefghij", kClassB, kVirtualDac);
  registry_.Add("7.ini", "zeta driver", kClassB, kVirtualDac, "", "duplicate key", true);
  registry_.Add("8.ini", "", kClassA, kVirtualDac);  // no key name
  fixtures::WriteFile(registry_.File("garbage.ini"), fixtures::AudioPattern(500));
  // Neither a file past any registry file's size nor one that never ends.
  registry_.Add("9.ini", "Huge", kClassA, kVirtualDac, std::string(70000, ';') + "\n");
  std::filesystem::create_symlink("/dev/zero", registry_.File("zero.ini"));

  InstalledAsioDrivers list;
  ASSERT_EQ(list.GetDriverCount(), 4);
  // Key-name order; a description is listed instead of the key name.
  EXPECT_EQ(NameOf(list, 0), "abcdefghij");
  EXPECT_EQ(NameOf(list, 1), "Described Alpha");
  EXPECT_EQ(NameOf(list, 2), forty);
  EXPECT_EQ(NameOf(list, 3), "Zeta Driver");
  EXPECT_EQ(NameOf(list, 2, 32), std::string(28, 'x') + "...");
  EXPECT_EQ(NameOf(list, 0, 8), "abcd...");
  EXPECT_EQ(NameOf(list, 0, 11), "abcdefghij");
  char buffer[8];
  EXPECT_EQ(list.GetDriverName(0, nullptr, 8), kAsioListNoBuffer);
  EXPECT_EQ(list.GetDriverName(4, buffer, 8), kAsioListNoDriver);
  EXPECT_EQ(list.GetDriverName(-1, buffer, 8), kAsioListNoDriver);
}

TEST_F(AsioHostTest, LoadingByNameComparesThe32ByteNameAndRestoresThePrevious) {
  const std::string forty(40, 'y');
  registry_.Add("a.ini", "Good DAC", kClassA, kVirtualDac, "DriverName=Good\n");
  registry_.Add("b.ini", forty, kClassB, kVirtualDac, "DriverName=Long\n");
  registry_.Add("c.ini", "Not A Driver", kClassA, QP_DSF_PLUGIN);  // a library without the factory
  registry_.Add("d.ini", "Null Factory", "{not-a-class-id}", kVirtualDac);  // factory says no

  EXPECT_FALSE(LoadDriverByName(L"Nobody"));
  EXPECT_EQ(InitName(), "No ASIO Driver");

  ASSERT_TRUE(LoadDriverByName(L"Good DAC"));
  EXPECT_EQ(InitName(), "Good");
  for (const wchar_t* broken : {L"Not A Driver", L"Null Factory"}) {
    EXPECT_FALSE(LoadDriverByName(broken));
    EXPECT_EQ(InitName(), "Good") << "the previous driver is loaded again";
  }
  EXPECT_FALSE(LoadDriverByName(std::wstring(forty.begin(), forty.end())));
  EXPECT_TRUE(LoadDriverByName(std::wstring(28, L'y') + L"..."));
  EXPECT_EQ(InitName(), "Long");

  UnloadCurrentDriver();
  EXPECT_EQ(InitName(), "No ASIO Driver");
}

TEST_F(AsioHostTest, CallsWithoutADriverAnswerNotPresentWithTheirFallbacks) {
  int32_t a = 7, b = 7, c = 7, d = 7;
  EXPECT_EQ(HostGetChannels(&a, &b), kAsioNotPresent);
  EXPECT_EQ(a + b, 0);
  a = b = 7;
  EXPECT_EQ(HostGetLatencies(&a, &b), kAsioNotPresent);
  EXPECT_EQ(a + b, 0);
  a = b = 7;
  EXPECT_EQ(HostGetBufferSize(&a, &b, &c, &d), kAsioNotPresent);
  EXPECT_EQ(a + b + c + d, 0);
  AsioChannelInfo channel{};
  EXPECT_EQ(HostGetChannelInfo(&channel), kAsioNotPresent);
  EXPECT_EQ(channel.channelGroup, -1);
  EXPECT_EQ(channel.type, 0);
  EXPECT_STREQ(channel.name, "None");
  int dummy = 0;
  AsioBufferInfo buffers[2] = {{0, 0, {&dummy, &dummy}}, {0, 1, {&dummy, &dummy}}};
  EXPECT_EQ(HostCreateBuffers(buffers, 2, 512, nullptr), kAsioNotPresent);
  EXPECT_EQ(buffers[1].buffers[0], nullptr);
  EXPECT_EQ(buffers[1].buffers[1], nullptr);
  AsioDriverInfo info{};
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_STREQ(info.name, "No ASIO Driver");
  for (AsioError result :
       {HostStart(), HostStop(), HostCanSampleRate(44100), HostSetSampleRate(44100),
        HostDisposeBuffers(), HostOutputReady(), HostFuture(kAsioCanDoIoFormat, nullptr)}) {
    EXPECT_EQ(result, kAsioNotPresent);
  }
  EXPECT_EQ(HostExit(), kAsioOk);
  EXPECT_EQ(HostIsWasapi(), 0);

  // The renderer route with no renderer library: not present either.
  binding_->SetWasapi(true);
  EXPECT_EQ(HostIsWasapi(), 1);
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_EQ(HostStart(), kAsioNotPresent);
  EXPECT_EQ(HostExit(), kAsioNotPresent);
  EXPECT_EQ(HostGetSelectedFlags(), 0);

  // No binding at all.
  binding_.reset();
  EXPECT_EQ(HostStart(), kAsioInvalidMode);
  EXPECT_EQ(HostInit(&info), kAsioInvalidMode);
  EXPECT_EQ(HostIsWasapi(), 0);
}

TEST_F(AsioHostTest, ADriverThatRefusesInitLeavesNoCurrentDriver) {
  registry_.Add("r.ini", "Refuser", kClassA, kVirtualDac, "RefuseInit=1\n");
  ASSERT_TRUE(LoadDriverByName(L"Refuser"));
  AsioDriverInfo info{};
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  EXPECT_STREQ(info.errorMessage, "The virtual DAC is set to refuse init");
  int32_t in = 1, out = 1;
  EXPECT_EQ(HostGetChannels(&in, &out), kAsioNotPresent);
}

TEST_F(AsioHostTest, DevicesAreSelectedAndProbedByName) {
  registry_.Add("v.ini", "Virtual", kClassA, kVirtualDac, "DriverName=Probe\n");
  ASSERT_TRUE(SelectOutputDevice(L"Virtual"));
  EXPECT_EQ(InitName(), "Probe");
  EXPECT_FALSE(CanOpenDevice(L""));  // leaves the current device alone
  EXPECT_EQ(InitName(), "Probe");
  EXPECT_TRUE(CanOpenDevice(L"Virtual"));
  EXPECT_EQ(InitName(), "No ASIO Driver");  // closed again
  EXPECT_FALSE(CanOpenDevice(L"Nobody"));
  // No driver of that name and no renderer library: nothing is selected.
  EXPECT_FALSE(SelectOutputDevice(L"WASAPI: Speakers"));
  EXPECT_EQ(HostIsWasapi(), 0);
}

}  // namespace
