// Copying document texts into fixed fields.
#include <gtest/gtest.h>

#include <string>

#include "app/documentText.h"

TEST(DocumentText, ShortTextIsCopiedWhole) {
    char field[8];
    EXPECT_TRUE(app::CopyText(field, sizeof field, "abc"));
    EXPECT_STREQ(field, "abc");
    EXPECT_TRUE(app::CopyText(field, sizeof field, "1234567"));
    EXPECT_STREQ(field, "1234567");
}

TEST(DocumentText, LongTextIsCutAtTheFieldSize) {
    char field[8];
    EXPECT_FALSE(app::CopyText(field, sizeof field, "123456789"));
    EXPECT_STREQ(field, "1234567");
}

TEST(DocumentText, DoubleByteCharacterIsNeverSplit) {
    char field[8];
    // Six bytes, then a two-byte character that would need bytes 7 and 8.
    EXPECT_FALSE(app::CopyText(field, sizeof field, "123456\x82\xa0"));
    EXPECT_STREQ(field, "123456");
    // Five bytes and the two-byte character fit exactly.
    EXPECT_TRUE(app::CopyText(field, sizeof field, "12345\x82\xa0"));
    EXPECT_STREQ(field, "12345\x82\xa0");
}

TEST(DocumentText, TrailByteRangesAreNotMistakenForLeadBytes) {
    char field[4];
    // 0x82 0x81: the second byte is a trail byte although it could start a character.
    EXPECT_FALSE(app::CopyText(field, sizeof field, "\x82\x81\x82\x81"));
    EXPECT_STREQ(field, "\x82\x81");
}

TEST(DocumentText, LoneLeadByteAtTheEndCountsAsOneByte) {
    char field[4];
    EXPECT_TRUE(app::CopyText(field, sizeof field, "ab\x82"));
    EXPECT_STREQ(field, "ab\x82");
}

TEST(DocumentText, HalfWidthKatakanaIsSingleByte) {
    char field[4];
    EXPECT_TRUE(app::CopyText(field, sizeof field, "\xb1\xb2\xb3"));
    EXPECT_STREQ(field, "\xb1\xb2\xb3");
}
