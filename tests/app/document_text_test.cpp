// Copying document texts into fixed fields.
#include <gtest/gtest.h>

#include <string>

#include "core/documentText.h"
#include "core/trustedPaths.h"

TEST(DocumentText, ShortTextIsCopiedWhole) {
    char field[8];
    EXPECT_TRUE(core::CopyText(field, sizeof field, "abc"));
    EXPECT_STREQ(field, "abc");
    EXPECT_TRUE(core::CopyText(field, sizeof field, "1234567"));
    EXPECT_STREQ(field, "1234567");
}

TEST(DocumentText, LongTextIsCutAtTheFieldSize) {
    char field[8];
    EXPECT_FALSE(core::CopyText(field, sizeof field, "123456789"));
    EXPECT_STREQ(field, "1234567");
}

TEST(DocumentText, DoubleByteCharacterIsNeverSplit) {
    char field[8];
    // Six bytes, then a two-byte character that would need bytes 7 and 8.
    EXPECT_FALSE(core::CopyText(field, sizeof field, "123456\x82\xa0"));
    EXPECT_STREQ(field, "123456");
    // Five bytes and the two-byte character fit exactly.
    EXPECT_TRUE(core::CopyText(field, sizeof field, "12345\x82\xa0"));
    EXPECT_STREQ(field, "12345\x82\xa0");
}

TEST(DocumentText, TrailByteRangesAreNotMistakenForLeadBytes) {
    char field[4];
    // 0x82 0x81: the second byte is a trail byte although it could start a character.
    EXPECT_FALSE(core::CopyText(field, sizeof field, "\x82\x81\x82\x81"));
    EXPECT_STREQ(field, "\x82\x81");
}

TEST(DocumentText, LoneLeadByteAtTheEndCountsAsOneByte) {
    char field[4];
    EXPECT_TRUE(core::CopyText(field, sizeof field, "ab\x82"));
    EXPECT_STREQ(field, "ab\x82");
}

TEST(DocumentText, HalfWidthKatakanaIsSingleByte) {
    char field[4];
    EXPECT_TRUE(core::CopyText(field, sizeof field, "\xb1\xb2\xb3"));
    EXPECT_STREQ(field, "\xb1\xb2\xb3");
}

// Cutting follows the document's code page. In the Korean documents (949) every byte from 0x81
// on starts a two-byte character, 0xA1-0xDF too, which are single half-width katakana in 932.
TEST(DocumentText, DoubleByteCharactersOfEitherCodePageAreNeverSplit) {
    struct Case {
        unsigned codePage;
        const char* text;
        size_t size;
        const char* kept;
    };
    const Case cases[] = {
        {949, "\xc6\xc4\xc0\xcf", 4, "\xc6\xc4"},  // two Hangul syllables, room for three bytes
        {949, "\xc6\xc4\xc0\xcf", 5, "\xc6\xc4\xc0\xcf"},  // both fit
        {949, "ab\xb1\xe2", 4, "ab"},                      // 0xB1 leads a character here
        {949, "a\x81\x41\x81\x41", 5, "a\x81\x41"},        // extended syllables, ASCII trail bytes
        {932, "ab\xb1\xe2", 4, "ab\xb1"},                  // 0xB1 is katakana, 0xE2 a lone lead
        {932, "123456\x82\xa0", 8, "123456"},
    };
    for (const Case& c : cases) {
        char field[16];
        const bool whole = std::string(c.kept) == c.text;
        EXPECT_EQ(core::CopyText(field, c.size, c.text, c.codePage), whole)
            << c.codePage << " " << c.size;
        EXPECT_STREQ(field, c.kept) << c.codePage << " " << c.size;
    }
}

// A message quoting a huge name stays readable: each long line is cut to about 200 bytes and
// "...", never inside a character of the paths' encoding; short lines stay whole.
TEST(DocumentText, LongLinesOfAMessageAreCutBetweenCharacters) {
    // Two-byte characters whose second byte is the backslash (code page 932), or three-byte
    // ones (UTF-8).
    const std::string character = core::kPathCodePage != 0 ? "\x83\x5C" : "\xE3\x81\x82";
    std::string name;
    while (name.size() < 100000) {
        name += character;
    }
    const size_t kept = 200 / character.size() * character.size();
    struct Case {
        std::string text;
        std::string shown;
    };
    for (const Case& c : {
             Case{"short\nlines", "short\nlines"},
             Case{std::string(201, 'x'), std::string(200, 'x') + "..."},
             Case{"error (-31)\n" + name + "\nend",
                  "error (-31)\n" + name.substr(0, kept) + "...\nend"},
             Case{"x" + name,
                  "x" + name.substr(0, 199 / character.size() * character.size()) + "..."},
         }) {
        EXPECT_EQ(core::CutLongLines(c.text), c.shown);
    }
}
