// The process-wide service as the board reaches it: created on first use with a real-time
// output (the dummy SDL driver here), no set-up by the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "mci/mci_service.h"
#include "test_media.h"

namespace {

TEST(DefaultServiceTest, PlaysASoundInRealTimeToItsEnd) {
  testmedia::TempDir dir;
  testmedia::WriteSweepWav(dir.file("tick.wav"), 48000, 1, 0.12);
  const std::string open = "open \"" + dir.file("tick.wav") + "\" alias A0 type mpegvideo";
  ASSERT_EQ(mci::SendString(open.c_str(), nullptr, 0, nullptr), 0u);
  ASSERT_EQ(mci::SendString("seek A0 to  0", nullptr, 0, nullptr), 0u);
  ASSERT_EQ(mci::SendString("play A0", nullptr, 0, nullptr), 0u);
  char mode[3] = {' ', ' ', ' '};
  mci::SendString("status A0 mode", mode, 3, nullptr);
  EXPECT_EQ(std::strncmp(mode, "pl", 2), 0);
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    mci::SendString("status A0 mode", mode, 3, nullptr);
    if (std::strncmp(mode, "pl", 2) != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_STREQ(mode, "st");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
  char length[20] = {};
  mci::SendString("status A0 length", length, 20, nullptr);
  EXPECT_STREQ(length, "120");
  EXPECT_EQ(mci::SendString("close A0", nullptr, 0, nullptr), 0u);
  EXPECT_EQ(mci::SendString("close A0", nullptr, 0, nullptr), 263u);
}

}  // namespace
