#include "FixedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using kivra::CopyFixedText;

// True when text is well-formed UTF-8 (no truncated or stray sequences).
bool IsValidUtf8(const std::string &text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 0;
        if (len == 0 || i + len > text.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

struct CutCase {
    const char *name;
    const char *source;
    std::size_t room;
    const char *expected;
};

class FixedTextCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(FixedTextCut, CopiesAtMostRoomMinusOneBytesWithoutSplittingASequence) {
    const CutCase &c = GetParam();
    std::vector<char> field(c.room + 8, '#');  // guard bytes after the room
    const std::size_t written = CopyFixedText(field.data(), c.room, c.source);
    EXPECT_STREQ(field.data(), c.expected);
    EXPECT_EQ(written, std::strlen(c.expected));
    for (std::size_t i = c.room; i < field.size(); ++i)
        EXPECT_EQ(field[i], '#') << "overrun at " << i;
}

// "é" is C3 A9, "€" is E2 82 AC, "😀" is F0 9F 98 80.
INSTANTIATE_TEST_SUITE_P(
    Cases, FixedTextCut,
    ::testing::Values(CutCase{"ShortText", "sa", 16, "sa"}, CutCase{"EmptyText", "", 16, ""},
                      CutCase{"NullSource", nullptr, 16, ""},
                      CutCase{"ExactlyRoomMinusOne", "abcde", 6, "abcde"},
                      CutCase{"OneOverIsCut", "abcdef", 6, "abcde"},
                      CutCase{"RoomOneHoldsOnlyTheTerminator", "abc", 1, ""},
                      CutCase{"TwoByteSequenceAtCutIsDropped", "abcd\xC3\xA9", 6, "abcd"},
                      CutCase{"TwoByteSequenceThatFitsIsKept", "abc\xC3\xA9z", 6, "abc\xC3\xA9"},
                      CutCase{"ThreeByteCutAfterOneByte", "abcd\xE2\x82\xAC", 6, "abcd"},
                      CutCase{"ThreeByteCutAfterTwoBytes", "abc\xE2\x82\xAC", 6, "abc"},
                      CutCase{"ThreeByteThatFitsIsKept", "ab\xE2\x82\xAC!", 6, "ab\xE2\x82\xAC"},
                      CutCase{"FourByteCutAfterThreeBytes", "ab\xF0\x9F\x98\x80", 6, "ab"},
                      CutCase{"FourByteThatFitsIsKept", "a\xF0\x9F\x98\x80z", 6,
                              "a\xF0\x9F\x98\x80"},
                      CutCase{"OnlyMultiByteTextInTinyRoom", "\xE2\x82\xAC", 3, ""},
                      // Not UTF-8 (single-byte code page text): nothing but the room limit applies.
                      CutCase{"StrayContinuationBytesAreNotEaten", "\x80\x80\x80\x80\x80\x80\x80",
                              6, "\x80\x80\x80\x80\x80"},
                      CutCase{"LatinOneBytesAreCutAtTheRoom", "caf\xE9 cr\xE8me", 6, "caf\xE9 "}),
    [](const ::testing::TestParamInfo<CutCase> &info) { return std::string(info.param.name); });

TEST(FixedText, RoomZeroWritesNothing) {
    char field[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(CopyFixedText(field, 0, "abc"), 0u);
    EXPECT_EQ(std::string(field, 4), "xyzw");
}

TEST(FixedText, ArrayOverloadUsesTheArraySize) {
    char field[16];
    CopyFixedText(field, "a network address that is too long");
    EXPECT_STREQ(field, "a network addre");
}

// A long host name of mixed 1- to 4-byte characters, cut at every room: always valid UTF-8,
// never longer than room - 1, and a prefix of the source that loses less than one character.
TEST(FixedText, MixedUnicodeTextStaysValidAtEveryRoom) {
    std::string source;
    for (int i = 0; i < 20; ++i) source += "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    ASSERT_TRUE(IsValidUtf8(source));
    for (std::size_t room = 1; room <= source.size() + 2; ++room) {
        std::vector<char> field(room);
        const std::size_t written = CopyFixedText(field.data(), room, source.c_str());
        const std::string out(field.data());
        ASSERT_EQ(out.size(), written);
        ASSERT_LE(out.size(), room - 1) << "room " << room;
        ASSERT_TRUE(IsValidUtf8(out)) << "room " << room;
        ASSERT_EQ(source.compare(0, out.size(), out), 0) << "room " << room;
        ASSERT_GT(out.size() + 4, std::min(room - 1, source.size())) << "room " << room;
    }
}

}  // namespace
