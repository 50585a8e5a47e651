// UTF-16 into UTF-8 as the database layer converts the server's Unicode texts: every form of
// character, and surrogates without their partner.
#include "Utf16Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Convert(const std::vector<std::uint16_t> &units) {
    std::string out(kivra::Utf8LengthOfUtf16(units.data(), units.size()), '\0');
    const std::size_t written = kivra::Utf16ToUtf8(units.data(), units.size(), &out[0]);
    EXPECT_EQ(written, out.size()) << "the length given beforehand is the length written";
    return out;
}

TEST(Utf16Text, EveryFormOfCharacterAndLoneSurrogates) {
    struct Case {
        const char *what;
        std::vector<std::uint16_t> units;
        std::string utf8;
    } cases[] = {
        {"empty", {}, ""},
        {"plain", {'s', 'a', ' ', '1'}, "sa 1"},
        {"two bytes", {0x00E9, 'x', 0x07FF}, "\xC3\xA9x\xDF\xBF"},
        {"three bytes",
         {0x0800, 0x20AC, 0xFFFD, 0xFFFF},
         "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBF"},
        {"surrogate pair",
         {'a', 0xD83D, 0xDCCA, 'b'},
         "a\xF0\x9F\x93\x8A"
         "b"},
        {"highest character", {0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        {"high surrogate at the end", {'a', 0xD83D}, "a?"},
        {"high surrogate before a plain unit", {0xD83D, 'b'}, "?b"},
        {"two high surrogates, then a low one", {0xD83D, 0xD83D, 0xDCCA}, "?\xF0\x9F\x93\x8A"},
        {"low surrogate alone", {0xDCCA, 'c'}, "?c"},
        {"plain runs around others",
         {'a', 'b', 'c', 'd', 0x00E9, 'e', 'f', 'g', 'h', 'i', 0xD83D, 0xDCCA, 'j'},
         "abcd\xC3\xA9"
         "efghi\xF0\x9F\x93\x8Aj"},
        {"a pair across four units",
         {'a', 'b', 'c', 0xD83D, 0xDCCA, 'd', 'e', 'f', 'g'},
         "abc\xF0\x9F\x93\x8A"
         "defg"},
    };
    for (const auto &c : cases) EXPECT_EQ(Convert(c.units), c.utf8) << c.what;
}

}  // namespace
