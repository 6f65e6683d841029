// The key search on keymaps compiled from the layouts the X server tests set
// with setxkbmap, without a display: which key, group and modifier keys give
// each character, and which keys are left for the characters a layout lacks.

#include "keyboard/KeystrokeInjector.h"
#include "keyboard/xkb/XkbKeySearch.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace pelvaro {
namespace {

using namespace std::string_view_literals;

// Keycodes of the evdev keymaps, as an X server numbers them.
constexpr xkb_keycode_t kShiftL = 50;
// The first key giving ISO_Level3_Shift: the one without a key cap beside AltGr.
constexpr xkb_keycode_t kLevelThree = 92;
constexpr xkb_keycode_t kKeyY = 29; // z on a German keyboard
constexpr xkb_keycode_t kKeyZ = 52;
constexpr xkb_mod_mask_t kShift = 1u << 0;
constexpr xkb_mod_mask_t kLock = 1u << 1;

// A keymap as setxkbmap compiles it for the server.
class Keymap {
public:
    explicit Keymap(const char* layout) {
        const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
        keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        EXPECT_NE(keymap_, nullptr) << layout;
        search_ = std::make_unique<XkbKeySearch>(keymap_.get());
    }
    std::optional<KeyStroke> find(char32_t character, xkb_layout_index_t group = 0,
                                  xkb_mod_mask_t held = 0) {
        return search_->find(wantedCharacter(character), group, held);
    }
    XkbKeySearch& search() { return *search_; }
    xkb_keymap* keymap() { return keymap_.get(); }

private:
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context_{
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref};
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap_{nullptr, &xkb_keymap_unref};
    std::unique_ptr<XkbKeySearch> search_;
};

using Keys = std::vector<xkb_keycode_t>;
constexpr std::u32string_view kCode = U"0A1B2C3D4E";
constexpr std::u32string_view kPersonnelNumber = U"Zy-ÄÖÜäöüß€@µ 4711";

TEST(XkbKeySearchTest, EveryCharacterOfTheUsLayoutFromItsOwnKeys) {
    Keymap us("us");
    for (const char32_t character : std::u32string(kCode) + U"zy-@ 4711\t\n")
        EXPECT_TRUE(us.find(character)) << static_cast<uint32_t>(character);
    EXPECT_EQ(us.find(U'z')->key, kKeyZ);
    EXPECT_EQ(us.find(U'Z')->modifierKeys, Keys{kShiftL});
    EXPECT_EQ(us.find(U'@')->modifierKeys, Keys{kShiftL});
    EXPECT_EQ(us.find(kTabKey)->key, 23u);
    EXPECT_EQ(us.find(kEnterKey)->key, 36u);
    EXPECT_TRUE(us.find(kEnterKey)->modifierKeys.empty());
    // € has a key of its own among the multimedia keys.
    EXPECT_TRUE(us.find(U'€'));
    // Umlauts and µ need spare keys.
    for (const char32_t character : U"ÄÖÜäöüßµ"sv)
        EXPECT_FALSE(us.find(character)) << static_cast<uint32_t>(character);
}

TEST(XkbKeySearchTest, GermanLayoutGivesUmlautsAndAltGrCharacters) {
    Keymap de("de");
    for (const char32_t character : std::u32string(kCode) + std::u32string(kPersonnelNumber))
        EXPECT_TRUE(de.find(character)) << static_cast<uint32_t>(character);
    EXPECT_EQ(de.find(U'z')->key, kKeyY);
    EXPECT_EQ(de.find(U'Ä')->modifierKeys, Keys{kShiftL});
    for (const char32_t character : U"€@µ"sv)
        EXPECT_EQ(de.find(character)->modifierKeys, Keys{kLevelThree});
}

TEST(XkbKeySearchTest, SecondLayoutOnlyForWhatTheActiveOneLacks) {
    Keymap usDe("us,de");
    EXPECT_EQ(usDe.find(U'@')->group, 0u);
    EXPECT_EQ(usDe.find(U'z')->group, 0u);
    EXPECT_EQ(usDe.find(U'ß')->group, 1u);
    EXPECT_EQ(usDe.find(U'ü')->group, 1u);
    // With the German layout active, space and Return need no switch back.
    for (const char32_t character : U"z @\n"sv)
        EXPECT_EQ(usDe.find(character, 1)->group, 1u) << static_cast<uint32_t>(character);
    EXPECT_EQ(usDe.find(U'z', 1)->key, kKeyY);
}

TEST(XkbKeySearchTest, HeldModifiersSelectTheLevel) {
    Keymap us("us");
    // Caps Lock on: a capital without Shift, a small letter from no key.
    EXPECT_TRUE(us.find(U'A', 0, kLock)->modifierKeys.empty());
    EXPECT_FALSE(us.find(U'a', 0, kLock));
    // Shift held: neither a digit nor a capital with a Shift of our own.
    EXPECT_FALSE(us.find(U'1', 0, kShift));
    EXPECT_TRUE(us.find(U'!', 0, kShift)->modifierKeys.empty());
}

TEST(XkbKeySearchTest, LatinLettersLackingInTheRussianLayout) {
    Keymap ru("ru");
    for (const char32_t character : U"0123456789"sv)
        EXPECT_TRUE(ru.find(character));
    for (const char32_t character : U"ABCDE"sv)
        EXPECT_FALSE(ru.find(character));
    EXPECT_TRUE(ru.find(U'Ж'));
}

TEST(XkbKeySearchTest, SpareKeysAreUnusedInBothKeymapsAndReusedOldestFirst) {
    Keymap us("us");
    Keymap ru("ru");
    const Keys unused = us.search().unusedKeys(ru.search());
    ASSERT_GE(unused.size(), 2u);
    for (const xkb_keycode_t key : unused) {
        EXPECT_EQ(xkb_keymap_num_layouts_for_key(us.keymap(), key), 0u);
        EXPECT_EQ(xkb_keymap_num_layouts_for_key(ru.keymap(), key), 0u);
    }
    const Keys two{unused[0], unused[1]};
    SpareKeys spare;
    const xkb_keysym_t ae = wantedCharacter(U'ä').keysym;
    const xkb_keysym_t oe = wantedCharacter(U'ö').keysym;
    const xkb_keysym_t euro = wantedCharacter(U'€').keysym;
    const xkb_keysym_t micro = wantedCharacter(U'µ').keysym;
    SpareKeys::Choice first = spare.choose({ae, oe}, two);
    EXPECT_EQ(first.toBind.size(), 2u);
    EXPECT_FALSE(first.withoutKey);
    // Both keys bound now: ö keeps its key, € takes ä's, µ finds none.
    const SpareKeys::Choice next = spare.choose({oe, euro, micro}, {});
    EXPECT_EQ(next.keys.at(oe), first.keys.at(oe));
    EXPECT_EQ(next.keys.at(euro), first.keys.at(ae));
    EXPECT_EQ(next.withoutKey, micro);
    EXPECT_EQ(next.toBind.size(), 1u);

    SpareKeys refusing;
    SpareKeys::Choice refused = refusing.choose({ae}, two);
    refusing.refused(refused);
    EXPECT_TRUE(refused.keys.empty());
    EXPECT_TRUE(refusing.empty());
    EXPECT_EQ(spare.releaseAll().size(), 2u);
    EXPECT_TRUE(spare.empty());
}

} // namespace
} // namespace pelvaro
