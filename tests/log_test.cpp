#include <gtest/gtest.h>

#include "host/log.h"
#include "host/mod_state.h"

namespace kvr {
namespace {

class RecordingDevice : public ILogDevice {
 public:
  explicit RecordingDevice(bool extra) : extra_(extra) {}
  bool TakesExtraArgument() const override { return extra_; }
  void Receive(const std::wstring& line) override { lines.push_back(line); }
  void Receive(const std::wstring& line, int extra) override {
    lines.push_back(line);
    extras.push_back(extra);
  }
  std::vector<std::wstring> lines;
  std::vector<int> extras;

 private:
  bool extra_;
};

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard<std::mutex> lock(ModState::Get().settingsLock);
    ModState::Get().recentLog.clear();
  }
  void TearDown() override { SetLogDevices(nullptr); }
};

TEST_F(LogTest, LinesReachEveryDeviceInOrderUntilANullEntry) {
  RecordingDevice plain(false), extra(true), never(false);
  const LogDeviceList devices{&plain, &extra, nullptr, &never};
  SetLogDevices(&devices);
  Log("hello");
  Log("");
  Log("gr\xC3\xBC\xC3\x9F dich \xE2\x82\xAC");  // non-ASCII UTF-8
  ASSERT_EQ(plain.lines.size(), 3u);
  EXPECT_EQ(plain.lines[0], L"[KorvathNeuralNav] hello\n");
  EXPECT_EQ(plain.lines[1], L"[KorvathNeuralNav] \n");
  EXPECT_EQ(plain.lines[2], L"[KorvathNeuralNav] gr\u00FC\u00DF dich \u20AC\n");
  EXPECT_EQ(extra.lines, plain.lines);
  EXPECT_EQ(extra.extras, (std::vector<int>{0, 0, 0}));
  EXPECT_TRUE(never.lines.empty());
  const auto recent = RecentLog();
  ASSERT_EQ(recent.size(), 3u);
  EXPECT_EQ(recent[1], "");
  EXPECT_EQ(recent[2], "gr\xC3\xBC\xC3\x9F dich \xE2\x82\xAC");
}

TEST_F(LogTest, RecentLogKeepsTheLast250) {
  const LogDeviceList none;
  SetLogDevices(&none);
  for (int i = 1; i <= 251; ++i) Log("message " + std::to_string(i));
  const auto recent = RecentLog();
  ASSERT_EQ(recent.size(), 250u);
  EXPECT_EQ(recent.front(), "message 2");
  EXPECT_EQ(recent.back(), "message 251");
}

}  // namespace
}  // namespace kvr
