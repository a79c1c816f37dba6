// The command line: number parsing, the argument scan and the derived name.
#include <gtest/gtest.h>

#include <vector>

#include "app/cmdline.h"
#include "app/version.h"
#include "test_support.h"

namespace {

struct Scan {
  Settings settings;
  int result;
  std::string out;
};

Scan scan(std::vector<const char*> args) {
  args.insert(args.begin(), "kelvor");
  Scan s{};
  CaptureStdout cap;
  s.result = settle_settings(static_cast<int>(args.size()), args.data(), &s.settings);
  s.out = cap.text();
  return s;
}

TEST(ParseNumber, SkipsSpaceTakesOneSignAndStopsAtTheFirstNonDigit) {
  EXPECT_EQ(parse_number("3"), 3);
  EXPECT_EQ(parse_number(" \t\n\v\f\r42"), 42);
  EXPECT_EQ(parse_number("+7"), 7);
  EXPECT_EQ(parse_number("-2"), -2);
  EXPECT_EQ(parse_number("12abc"), 12);
  EXPECT_EQ(parse_number(""), 0);
  EXPECT_EQ(parse_number("x5"), 0);
  EXPECT_EQ(parse_number("+-5"), 0);
  EXPECT_EQ(parse_number("- 5"), 0);
}

TEST(ParseNumber, AccumulatesInWrappingThirtyTwoBitArithmetic) {
  EXPECT_EQ(parse_number("2147483647"), 2147483647);
  EXPECT_EQ(parse_number("2147483648"), INT32_MIN);
  EXPECT_EQ(parse_number("4294967298"), 2);  // 2^32 + 2
  EXPECT_EQ(parse_number("-4294967295"), 1);
  EXPECT_EQ(parse_number("99999999999999999999"), 0x630FFFFF);
}

TEST(Scan, DefaultsAndNames) {
  Scan s = scan({"voice.zq"});
  ASSERT_EQ(s.result, 0);
  EXPECT_EQ(s.settings.loop_count, 2);
  EXPECT_EQ(s.settings.buffer_size, 8192);
  EXPECT_EQ(s.settings.omit_fmt_tail, 0);
  EXPECT_EQ(s.settings.src_name, "voice.zq");
  EXPECT_EQ(s.settings.dst_name, "voice.wav");
  EXPECT_EQ(s.out, "");

  Scan three = scan({"", "a.zq", "-l3", "", "out.bin", "third"});
  EXPECT_EQ(three.settings.src_name, "a.zq");
  EXPECT_EQ(three.settings.dst_name, "out.bin");  // used as given
  EXPECT_EQ(three.settings.loop_count, 3);
  EXPECT_EQ(three.out, "");
}

TEST(Scan, OptionValuesOutOfRangeKeepThePreviousValue) {
  Scan s = scan({"-l0", "a.zq", "-l4", "-b-1", "-b", "-l2147483648", "-b4294967298"});
  EXPECT_EQ(s.settings.loop_count, 4);
  EXPECT_EQ(s.settings.buffer_size, 2);
  EXPECT_EQ(s.out,
            "warning : value of option 'l' is out of range.\n"
            "warning : value of option 'b' is out of range.\n"
            "warning : value of option 'b' is out of range.\n"
            "warning : value of option 'l' is out of range.\n");
  Scan top = scan({"a.zq", "-l2147483647", "-b 64"});
  EXPECT_EQ(top.settings.loop_count, 2147483647);
  EXPECT_EQ(top.settings.buffer_size, 64);
}

TEST(Scan, InvalidOptionsAreNamedAndIgnored) {
  Scan s = scan({"-L3", "a.zq", "-", "-xyz", "-q"});
  EXPECT_EQ(s.settings.loop_count, 2);
  EXPECT_EQ(s.settings.omit_fmt_tail, 1);
  const std::string lone("warning : '\0' is invalid option.\n", 33);
  EXPECT_EQ(s.out, "warning : 'L' is invalid option.\n" + lone + "warning : 'q' is invalid option.\n");
  // A number in an argument of its own is a name.
  Scan sep = scan({"-l", "3", "a.zq"});
  EXPECT_EQ(sep.settings.src_name, "3");
  EXPECT_EQ(sep.settings.dst_name, "a.zq");
}

TEST(Scan, MissingSourceName) {
  Scan s = scan({"-l3", ""});
  EXPECT_EQ(s.result, -2);
  EXPECT_EQ(s.out, "error-2 : no .zq filename.\n");
}

TEST(Scan, LongNamesAreKeptWhole) {
  std::string longname(1000, 'n');
  longname += ".zq";
  Scan s = scan({longname.c_str()});
  ASSERT_EQ(s.result, 0);
  EXPECT_EQ(s.settings.src_name, longname);
  EXPECT_EQ(s.settings.dst_name, std::string(1000, 'n') + ".wav");
}

TEST(DerivedName, ReplacesTheExtensionAfterTheLastSeparator) {
  EXPECT_EQ(derive_dst_name("voice.zq"), "voice.wav");
  EXPECT_EQ(derive_dst_name("dir/take.1.zq"), "dir/take.1.wav");
  EXPECT_EQ(derive_dst_name("voice."), "voice.wav");
  EXPECT_EQ(derive_dst_name(".zq"), ".wav");
  EXPECT_EQ(derive_dst_name("a.b/c.d/e.zq"), "a.b/c.d/e.wav");
}

TEST(DerivedName, NeverGivesTheSourceNameBack) {
  EXPECT_EQ(derive_dst_name("voice"), "voice.wav");
  EXPECT_EQ(derive_dst_name("dir.x/voice"), "dir.x/voice.wav");
  EXPECT_EQ(derive_dst_name("take.wav"), "take.wav.wav");
  EXPECT_EQ(derive_dst_name("take.WAV"), "take.WAV.wav");
  EXPECT_EQ(derive_dst_name("take.Wav"), "take.Wav.wav");
  for (const char* src : {"voice", "x.wav", "d/x.WAV", "d.e/f", "a.zq"}) {
    EXPECT_NE(derive_dst_name(src), src);
  }
}

TEST(Texts, BannerUsageAndSettings) {
  CaptureStdout cap;
  print_banner();
  print_usage();
  Settings s;
  s.src_name = "in.zq";
  s.dst_name = "out.wav";
  print_settings(s);
  std::string out = cap.text();
  const std::string banner = std::string("kelvor ver. ") + kKelvorVersion + "\n";
  EXPECT_EQ(out.substr(0, banner.size()), banner);
  EXPECT_NE(out.find("\nusage : kelvor.exe [zq name] {wav name} {options}\n"
                     "        [zq name]  : .zq file\n"
                     "        {wav name} : output wav file name(option)\n"
                     "        {options}  : -ln ... loop count(n = 1...). default is 2.\n"
                     "setting : loop 2\n    src[in.zq]\n    dst[out.wav]\n"),
            std::string::npos);
}

}  // namespace
