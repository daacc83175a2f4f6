// The printer on USB through the application's device scheme and status
// query, against the emulated printer (umockdev).
#include <gtest/gtest.h>
#include <pappl/pappl.h>

#include <string>

#include "emulated_printer.h"
#include "statusquery.h"
#include "usbdevice.h"

namespace {

using hrvtest::EmulatedPrinter;
using hrvtest::Reply;

bool remember(const char*, const char* uri, const char* id, void* found) {
  *static_cast<std::string*>(found) = std::string(uri) + " " + id;
  return true;
}

TEST(UsbDevice, ListsWritesAndAsksThePrinter) {
  hrv::app::addUsbDeviceScheme();
  std::string found;
  {
    // The second packet is held back past the time-out and must be sent again, once.
    EmulatedPrinter printer(hrvtest::Script{{{"", {}, Reply::empty(), 1},
                                             {"", {}, Reply::timeout(), 1},
                                             {"CheckStatus?", {Reply::text("CODE=40021\r\n")}},
                                             {"", {}, Reply::empty()}}});
    papplDeviceList(PAPPL_DEVTYPE_CUSTOM_LOCAL, remember, &found, nullptr, nullptr);
    EXPECT_EQ(found, "hrvusb://Vorn/HRV5720ZWB MFG:Vorn;MDL:HRV5720ZWB;CMD:PJL,PCLXL;");

    std::string job;
    for (int i = 0; i < 1300; ++i) job += static_cast<char>('a' + i % 26);
    pappl_device_t* device = papplDeviceOpen("hrvusb://Vorn/HRV5720ZWB", "job", nullptr, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(papplDeviceWrite(device, job.data(), job.size()), static_cast<ssize_t>(job.size()));
    papplDeviceFlush(device);
    papplDeviceClose(device);
    EXPECT_EQ(printer.writtenText(), job);
    EXPECT_EQ(printer.requests().size(), 3u) << "pieces of 512, 512 and 276 bytes";

    printer.clearWritten();
    EXPECT_EQ(hrv::app::queryUsbStatus().value_or("none"), "CODE=40021\r\n");
    EXPECT_EQ(printer.writtenText(), "CheckStatus?");
  }
  // Unplugged.
  EXPECT_FALSE(hrv::app::queryUsbStatus().has_value());
  found.clear();
  papplDeviceList(PAPPL_DEVTYPE_CUSTOM_LOCAL, remember, &found, nullptr, nullptr);
  EXPECT_EQ(found, "");
}

}  // namespace
