#include <gtest/gtest.h>

#include "cli/CliArguments.h"
#include "engine/SerialBurn.h"

namespace tarnel::cli {
namespace {

TEST(ArgumentsTest, AddressListsTakeRangesAndHexOnceEachAndRefuseWhatIsNoDeviceAddress) {
  EXPECT_EQ(ParseAddressList("--addresses", "10-12,49,0x31,11"), (std::vector<uint8_t>{10, 11, 12, 49}));
  EXPECT_THROW(ParseAddressList("--addresses", "20-10"), EUsage);
  EXPECT_THROW(ParseAddressList("--addresses", "254"), EUsage);
  EXPECT_THROW(ParseAddressList("--addresses", "1,,2"), EUsage);
  EXPECT_THROW(ParseDeviceSpeed("--speed", "9601"), EUsage);
  EXPECT_THROW(ParseCliArguments({"find", "--port"}), EUsage);
  EXPECT_THROW(ParseCliArguments({"find", "--address", "1"}), EUsage);  // find asks no address
  const TCliArguments args = ParseCliArguments({"scan", "--port=COM2", "--json", "--timeout", "80"});
  EXPECT_EQ(args.Value("--port"), "COM2");
  EXPECT_EQ(args.Value("--timeout"), "80");
  EXPECT_TRUE(args.Has("--json"));
}

TEST(ArgumentsTest, SerialNumbersCountOnAcrossTheGroupsAndOnlyEightAsciiDigitsCount) {
  EXPECT_EQ(SerialNumberText(*NextSerialNumber({123, 9999})), "0124/0000");
  EXPECT_FALSE(NextSerialNumber({9999, 9999}));
  EXPECT_TRUE(IsCompleteSerialNumber("0123/4567"));
  EXPECT_FALSE(IsCompleteSerialNumber("0123/456"));
  EXPECT_FALSE(IsCompleteSerialNumber("0123/45 7"));
  EXPECT_FALSE(IsCompleteSerialNumber("0123/456\xEF\xBC\x97"));  // a full-width 7
}

TEST(ArgumentsTest, ASerialNumberSeparatesItsGroupsWithASlashABackslashOrAHyphenOnly) {
  for (const char* taken : {"1234/5678", "1234\\5678", "1234-5678"}) {
    EXPECT_TRUE(IsCompleteSerialNumber(taken)) << taken;
    EXPECT_EQ(SerialNumberText(*SerialNumberOf(taken)), "1234/5678");
  }
  for (const char* refused : {"1234 5678", "1234.5678", "1234_5678", "1234:5678", "1234|5678", "123405678",
                              "1234\t5678", "1234+5678"})
    EXPECT_FALSE(SerialNumberOf(refused)) << refused;
  EXPECT_FALSE(
      IsCompleteSerialNumber(std::string_view("1234\0"
                                              "5678",
                                              9)));
}

}  // namespace
}  // namespace tarnel::cli
