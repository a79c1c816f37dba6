// Names between UTF-16 and UTF-8, and the form in which long names reach the
// Windows file API.
#include <gtest/gtest.h>

#include <string>

#include "platform/wide_names.h"

namespace {

std::string bytes(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

TEST(WideNames, NamesOfEveryScriptRoundTrip) {
  const std::u16string names[] = {u"音楽.zq", u"музыка.zq", u"café.zq", u"🎵.zq", u"plain.zq"};
  const char8_t* utf8[] = {u8"音楽.zq", u8"музыка.zq", u8"café.zq", u8"🎵.zq", u8"plain.zq"};
  for (size_t i = 0; i < std::size(names); ++i) {
    EXPECT_EQ(utf8_from_utf16(names[i]), bytes(utf8[i])) << i;
    EXPECT_EQ(utf16_from_utf8(bytes(utf8[i])), names[i]) << i;
  }
  EXPECT_EQ(utf8_from_utf16(u"🎵"), "\xF0\x9F\x8E\xB5");
}

TEST(WideNames, LoneSurrogatesKeepTheirOwnSequence) {
  // Windows allows them in names; each must open the file it came from.
  const std::u16string lone_high = {u'a', char16_t(0xD83C), u'b'};
  const std::u16string lone_low = {char16_t(0xDFB5)};
  EXPECT_EQ(utf8_from_utf16(lone_high), "a\xED\xA0\xBC" "b");
  EXPECT_EQ(utf16_from_utf8(utf8_from_utf16(lone_high)), lone_high);
  EXPECT_EQ(utf16_from_utf8(utf8_from_utf16(lone_low)), lone_low);
  const std::u16string reversed = {char16_t(0xDFB5), char16_t(0xD83C)};
  EXPECT_EQ(utf16_from_utf8(utf8_from_utf16(reversed)), reversed);
}

TEST(WideNames, BytesThatStartNoSequenceBecomeReplacements) {
  const std::u16string r(1, char16_t(0xFFFD));
  EXPECT_EQ(utf16_from_utf8("\x80"), r);
  EXPECT_EQ(utf16_from_utf8("\xC0\xAF"), r);              // overlong "/"
  EXPECT_EQ(utf16_from_utf8("\xF4\x90\x80\x80"), r);      // past U+10FFFF
  EXPECT_EQ(utf16_from_utf8("\xE9t"), r + u"t");          // a sequence cut short keeps the next byte
  EXPECT_EQ(utf16_from_utf8("ab\xE3\x81"), u"ab" + r);    // cut short by the end
  EXPECT_EQ(utf16_from_utf8("\xFF" "a"), r + u"a");
}

TEST(ApiPath, LongAbsolutePathsTakeTheExtendedLengthForm) {
  const std::u16string dir = u"C:\\" + std::u16string(250, u'd');
  const std::u16string at_limit = dir + u"\\" + std::u16string(259 - dir.size() - 1, u'n');
  ASSERT_EQ(at_limit.size(), kLongestPlainPath);
  EXPECT_EQ(api_path(u"n", at_limit), u"n");  // the name as given
  const std::u16string over = at_limit + u"x";
  EXPECT_EQ(api_path(u"nx", over), u"\\\\?\\" + over);
  const std::u16string unc = u"\\\\server\\share\\" + std::u16string(300, u'n');
  EXPECT_EQ(api_path(u"x", unc), u"\\\\?\\UNC\\server\\share\\" + std::u16string(300, u'n'));
  const std::u16string extended = u"\\\\?\\C:\\" + std::u16string(300, u'n');
  EXPECT_EQ(api_path(extended, extended), extended);
  const std::u16string device = u"\\\\.\\" + std::u16string(300, u'n');
  EXPECT_EQ(api_path(device, device), device);
}

}  // namespace
