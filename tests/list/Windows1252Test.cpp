#include "list/Windows1252.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <iconv.h>

namespace pelvaro {
namespace {

TEST(Windows1252Test, LettersOfTheCodePageAndOneQuestionMarkPerOtherCharacter) {
    EXPECT_EQ(utf8ToWindows1252("Plain;\t~ äöüß €„Ÿ“ž"),
              "Plain;\t~ \xE4\xF6\xFC\xDF \x80\x84\x9F\x93\x9E");
    EXPECT_EQ(utf8ToWindows1252("✓ Łódź a😀b"), "? ?\xF3"
                                               "d? a?b");
    // C1 controls have no place in the code page: its 0x80..0x9F are letters.
    EXPECT_EQ(utf8ToWindows1252("\u0085\u0081"), "??");
}

TEST(Windows1252Test, EveryByteOfMalformedUtf8BecomesAQuestionMark) {
    EXPECT_EQ(utf8ToWindows1252("a\x80z"), "a?z");            // lone continuation byte
    EXPECT_EQ(utf8ToWindows1252("M\xC3"), "M?");              // cut off at the end
    EXPECT_EQ(utf8ToWindows1252("\xE2\x9C;"), "??;");         // cut off before ";"
    EXPECT_EQ(utf8ToWindows1252("\xC0\xBB"), "??");           // overlong ";"
    EXPECT_EQ(utf8ToWindows1252("\xE0\x80\xA0"), "???");      // overlong blank
    EXPECT_EQ(utf8ToWindows1252("\xED\xA0\x80"), "???");      // surrogate
    EXPECT_EQ(utf8ToWindows1252("\xF4\x90\x80\x80"), "????"); // above U+10FFFF
    EXPECT_EQ(utf8ToWindows1252("\xF5\xFF"), "??");
}

std::string utf8Of(char32_t c) {
    std::string text;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | c >> 6);
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | c >> 12);
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

// The C library's own converter as the reference, for every character of the
// basic multilingual plane.
TEST(Windows1252Test, AgreesWithTheSystemConverter) {
    const iconv_t converter = iconv_open("CP1252", "UTF-32LE");
    if (converter == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "the C library has no CP1252 converter";
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        char32_t in = c;
        char out = 0;
        char* inPointer = reinterpret_cast<char*>(&in);
        char* outPointer = &out;
        size_t inLeft = sizeof in;
        size_t outLeft = 1;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const bool converted =
            iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<size_t>(-1);
        ASSERT_TRUE(converted || errno == EILSEQ) << std::hex << static_cast<uint32_t>(c);
        ASSERT_EQ(utf8ToWindows1252(utf8Of(c)), std::string(1, converted ? out : '?'))
            << std::hex << static_cast<uint32_t>(c);
    }
    iconv_close(converter);
}

} // namespace
} // namespace pelvaro
