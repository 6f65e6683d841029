// The key events of a text typed, through the recording injector.

#include "keyboard/TextTyping.h"

#include "tests/support/RecordingInjector.h"

#include <gtest/gtest.h>

namespace pelvaro {

// Readable failures: U+34+ for a press of '4', ENTER- for a release of ENTER.
void PrintTo(const KeyEvent& event, std::ostream* out) {
    if (event.key == KeyEvent::Key::Enter)
        *out << "ENTER";
    else
        *out << "U+" << std::hex << static_cast<uint32_t>(event.character) << std::dec;
    *out << (event.pressed ? "+" : "-");
}

namespace {

constexpr std::string_view kCode = "0A1B2C3D4E";

std::vector<KeyEvent> strokes(std::u32string_view characters, bool enter = false) {
    return keyStrokes(characters, enter);
}

std::vector<KeyEvent> typed(std::string_view text, bool enter) {
    RecordingInjector injector;
    EXPECT_TRUE(sendKeystrokes(injector, text, enter).typedWhole());
    return injector.events();
}

TEST(SendKeystrokes, PressAndReleasePerCharacterThenEnterWhenAsked) {
    using enum KeyEvent::Key;
    const std::vector<KeyEvent> number = {{Character, U'4', true}, {Character, U'4', false},
                                          {Character, U'7', true}, {Character, U'7', false},
                                          {Character, U'1', true}, {Character, U'1', false},
                                          {Character, U'1', true}, {Character, U'1', false},
                                          {Enter, 0, true},        {Enter, 0, false}};
    EXPECT_EQ(typed("4711", true), number);
    EXPECT_EQ(typed(kCode, false), strokes(U"0A1B2C3D4E"));
    EXPECT_EQ(typed(kCode, true), strokes(U"0A1B2C3D4E", true));
}

TEST(SendKeystrokes, EmptyTextGivesOnlyEnterIfAny) {
    EXPECT_EQ(typed("", false), strokes(U""));
    EXPECT_EQ(typed("", true), strokes(U"", true));
}

TEST(SendKeystrokes, Utf8IsTypedAsItsCharactersAndStrayBytesAsReplacements) {
    EXPECT_EQ(typed("M\u00FCller \u00DF\u20AC", false), strokes(U"M\u00FCller \u00DF\u20AC"));
    EXPECT_EQ(typed("\U0001F600\u0800\u07FF", false), strokes(U"\U0001F600\u0800\u07FF"));
    // A Windows-1252 umlaut, a cut sequence, an overlong '/', a surrogate, a cut end.
    EXPECT_EQ(typed("A\xFC"
                    "B\xE2\x82"
                    "C\xC0\xAF\xED\xA0\x80\xC3",
                    false),
              strokes(U"A\uFFFDB\uFFFD\uFFFDC\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"));
}

TEST(SendKeystrokes, LongPersonnelNumberIsTypedWhole) {
    const std::string number(200, '7');
    EXPECT_EQ(typed(number, true), strokes(std::u32string(200, U'7'), true));
}

TEST(SendKeystrokes, RefusedCharacterDoesNotStopTheRest) {
    RecordingInjector injector;
    injector.lacking = U"\u20AC";
    EXPECT_EQ(typingResultText(sendKeystrokes(injector, "1\u20AC2", true)),
              "teilweise getippt: Zeichen fehlen in der Tastaturbelegung.");
    EXPECT_EQ(injector.events(), strokes(U"12", true));
}

} // namespace
} // namespace pelvaro
