#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "serial/platform/UsbAdapter.h"

namespace tarnel::platform {
namespace {

namespace fs = std::filesystem;

// A sysfs tree, a /dev and a by-id folder in a temporary folder, shaped as the kernel and udev lay them out:
// the tty's device link leads to the usb-serial port, below the interface, below the USB device.
class UsbAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnel-usb-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    FRoot = pattern;
    fs::create_directories(FRoot / "dev" / "serial" / "by-id");
    FUsb = FRoot / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    fs::create_directories(FUsb / "1-2:1.0" / "ttyUSB0");
    fs::create_directories(FRoot / "sys/class/tty");
  }
  void TearDown() override { fs::remove_all(FRoot); }

  static void Write(const fs::path& File, const std::string& Text) { std::ofstream(File) << Text; }

  // A tty named Name whose device folder is DeviceDir, with its /dev file.
  fs::path AddTty(const std::string& Name, const fs::path& DeviceDir) {
    fs::create_directories(FRoot / "sys/class/tty" / Name);
    fs::create_directory_symlink(DeviceDir, FRoot / "sys/class/tty" / Name / "device");
    Write(FRoot / "dev" / Name, "");
    return FRoot / "dev" / Name;
  }

  void AddFtdiAttributes() {
    Write(FUsb / "idVendor", "0403\n");
    Write(FUsb / "idProduct", "6001\n");
    Write(FUsb / "product", "FT232R USB UART\n");
    Write(FUsb / "manufacturer", "FTDI\n");
    Write(FUsb / "serial", "A10K2LX\n");
  }

  TUsbAdapter Describe(const fs::path& Device) {
    return DescribeUsbAdapter(Device.string(), (FRoot / "sys").string(),
                              (FRoot / "dev/serial/by-id").string());
  }

  fs::path FRoot;
  fs::path FUsb;
};

TEST_F(UsbAdapterTest, WalksUpToTheUsbDeviceAndFindsItsByIdLink) {
  AddFtdiAttributes();
  const fs::path device = AddTty("ttyUSB0", FUsb / "1-2:1.0" / "ttyUSB0");
  const fs::path byId = FRoot / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K2LX-if00-port0";
  fs::create_symlink("../../ttyUSB0", byId);
  fs::create_symlink("../../nothing", FRoot / "dev/serial/by-id/usb-other-if00-port0");

  const TUsbAdapter adapter = Describe(device);
  EXPECT_EQ(AdapterDescription(adapter), "FT232R USB UART (FTDI)");
  EXPECT_EQ(adapter.VidPid, "0403:6001");
  EXPECT_EQ(adapter.SerialNumber, "A10K2LX");
  EXPECT_EQ(adapter.ById, byId.string());
}

TEST_F(UsbAdapterTest, ALinkToTheDeviceIsDescribedAsTheDevice) {
  AddFtdiAttributes();
  const fs::path device = AddTty("ttyUSB0", FUsb / "1-2:1.0" / "ttyUSB0");
  fs::create_symlink(device, FRoot / "COM33");
  EXPECT_EQ(Describe(FRoot / "COM33").SerialNumber, "A10K2LX");
}

TEST_F(UsbAdapterTest, ModemClassAdapterWithoutStringsKeepsItsIds) {
  // ttyACM hangs directly below the interface; a cheap adapter may have no product, maker or serial.
  Write(FUsb / "idVendor", "2341\n");
  Write(FUsb / "idProduct", "0043\n");
  const fs::path device = AddTty("ttyACM0", FUsb / "1-2:1.0");

  const TUsbAdapter adapter = Describe(device);
  EXPECT_EQ(adapter.VidPid, "2341:0043");
  EXPECT_EQ(AdapterDescription(adapter), "");
  EXPECT_EQ(adapter.SerialNumber, "");
  EXPECT_EQ(adapter.ById, "");
}

TEST_F(UsbAdapterTest, BuiltInUartAndUnknownDevicesTellNothing) {
  AddFtdiAttributes();
  const fs::path uart = FRoot / "sys/devices/platform/serial8250/tty/ttyS0";
  fs::create_directories(uart);
  const TUsbAdapter builtIn = Describe(AddTty("ttyS0", uart));
  EXPECT_EQ(builtIn.VidPid, "");
  EXPECT_EQ(AdapterDescription(builtIn), "");

  // A pseudo-terminal has no entry in class/tty; an empty path has no device at all.
  EXPECT_EQ(Describe(FRoot / "dev/pts/3").VidPid, "");
  EXPECT_EQ(DescribeUsbAdapter("", (FRoot / "sys").string()).VidPid, "");
}

}  // namespace
}  // namespace tarnel::platform
