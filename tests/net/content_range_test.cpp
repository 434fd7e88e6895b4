// The HTTP clients' reading of Content-Range: only one well-formed byte range is believed.
#include <gtest/gtest.h>

#include <string>

#include "platform/content_range.h"

using platform::ContentRange;
using platform::ParseContentRange;

namespace {

TEST(ContentRangeParse, ReadsFirstLastAndTotal) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("bytes 0-1048575/5000000", range));
    EXPECT_EQ(range.first, 0);
    EXPECT_EQ(range.last, 1048575);
    EXPECT_EQ(range.total, 5000000);
}

TEST(ContentRangeParse, UnknownTotalIsMinusOne) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("bytes 100-199/*", range));
    EXPECT_EQ(range.first, 100);
    EXPECT_EQ(range.last, 199);
    EXPECT_EQ(range.total, -1);
}

TEST(ContentRangeParse, UnitIsCaseInsensitive) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("Bytes 5-5/6", range));
    EXPECT_EQ(range.last, 5);
}

TEST(ContentRangeParse, LargestValuesFit) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("bytes 0-9223372036854775806/9223372036854775807", range));
    EXPECT_EQ(range.total, INT64_MAX);
}

TEST(ContentRangeParse, MalformedTextIsRefusedAndLeavesTheRangeAlone) {
    for (const char* text :
         {"", "bytes", "bytes ", "bytes 0-", "bytes 0-9", "bytes 0-9/", "bytes -9/10",
          "bytes 0--9/10", "bytes 0-9/10 ", "bytes 0-9/10x", "bytes 0-9/*x", "bits 0-9/10",
          "bytes0-9/10", "bytes */10", "bytes +0-9/10", "bytes 0-9/-10", "bytes 0x0-9/10"}) {
        ContentRange range;
        range.first = 7;
        EXPECT_FALSE(ParseContentRange(text, range)) << text;
        EXPECT_EQ(range.first, 7) << text;
        EXPECT_EQ(range.total, -1) << text;
    }
}

TEST(ContentRangeParse, InconsistentNumbersAreRefused) {
    ContentRange range;
    EXPECT_FALSE(ParseContentRange("bytes 10-9/100", range));   // last before first
    EXPECT_FALSE(ParseContentRange("bytes 0-100/100", range));  // past the total
    EXPECT_FALSE(ParseContentRange("bytes 0-0/0", range));
}

TEST(ContentRangeParse, NumbersBeyond64BitsAreRefused) {
    ContentRange range;
    EXPECT_FALSE(ParseContentRange("bytes 0-1/9223372036854775808", range));
    EXPECT_FALSE(ParseContentRange("bytes 0-99999999999999999999/*", range));
    EXPECT_FALSE(ParseContentRange("bytes 18446744073709551617-18446744073709551618/*", range));
}

// A range's size, last - first + 1, and the file size it implies, last + 1, must both fit.
TEST(ContentRangeParse, RangeEndingAtTheLargestOffsetIsRefused) {
    for (const char* text : {"bytes 0-9223372036854775807/*", "bytes 5-9223372036854775807/*",
                             "bytes 9223372036854775807-9223372036854775807/*"}) {
        ContentRange range;
        EXPECT_FALSE(ParseContentRange(text, range)) << text;
        EXPECT_EQ(range.last, -1) << text;
    }
    ContentRange range;
    EXPECT_TRUE(ParseContentRange("bytes 0-9223372036854775806/*", range));
    EXPECT_EQ(range.last, INT64_MAX - 1);
}

}  // namespace
