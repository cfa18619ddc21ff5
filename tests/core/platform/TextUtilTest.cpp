// The byte-level text helpers every module uses: ASCII only, whatever the
// locale, and exact about which bytes count.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/TextUtil.h"

namespace zyfar {
namespace {

using namespace std::string_literals;

TEST(TextUtil, ClassesOfBytes) {
    std::string digits, blanks, white, hex;
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        if (IsDigit(c)) digits += c;
        if (IsBlank(c)) blanks += c;
        if (IsWhiteSpace(c)) white += c;
        if (HexDigitValue(c) >= 0) hex += std::to_string(HexDigitValue(c)) + c;
    }
    EXPECT_EQ(digits, "0123456789");
    EXPECT_EQ(blanks, "\t ");
    EXPECT_EQ(white, "\t\n\v\f\r ");
    EXPECT_EQ(hex, "0011223344556677889910A11B12C13D14E15F10a11b12c13d14e15f");
    EXPECT_TRUE(AllDigits("0123456789"));
    for (const char* no : {"", "12a", " 1", "-1", "+1"}) EXPECT_FALSE(AllDigits(no)) << no;
}

TEST(TextUtil, CaseIsFoldedForAsciiLettersOnly) {
    std::setlocale(LC_ALL, "C.UTF-8");  // what a GUI run sets; the helpers must not care
    EXPECT_EQ(ToLowerAscii("AbZ@[`{\xC3\x89"), "abz@[`{\xC3\x89");
    EXPECT_EQ(ToUpperAscii("aBz@[`{\xC3\xA9"), "ABZ@[`{\xC3\xA9");
    EXPECT_TRUE(EqualsNoCase("Overwrite YES", "oVERWRITE yes"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(EqualsNoCase("@", "`"));  // one apart from a letter pair, not a letter
    EXPECT_FALSE(EqualsNoCase("abc", "ab"));
    EXPECT_TRUE(StartsWithNoCase("FTP://host", "ftp://") && !StartsWithNoCase("ftp:", "ftp://"));
    EXPECT_TRUE(EndsWithNoCase("run.CMD", ".cmd") && !EndsWithNoCase("md", ".cmd"));
    std::setlocale(LC_ALL, "C");
}

TEST(TextUtil, LineBreaksAndNulCannotBeStored) {
    for (const std::string& bad : {"a\rb"s, "a\nb"s, "a\0b"s, "\n"s}) EXPECT_TRUE(HasLineBreakOrNul(bad));
    for (const std::string& good : {""s, "a b\tc\v\f"s, "\xC3\xA9"s}) EXPECT_FALSE(HasLineBreakOrNul(good));
}

}  // namespace
}  // namespace zyfar
