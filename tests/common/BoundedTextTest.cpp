#include "common/BoundedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(BoundedTextTest, KeepsTheFirstBytesUpToItsRoom) {
    struct Case {
        std::string text;
        std::string kept;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"12345678", "12345678"},
        {"123456789", "12345678"},
        // A cut inside a two-byte character keeps the lead byte.
        {"1234567\x82\xDB", "1234567\x82"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BoundedText<8> text(c.text);
        EXPECT_EQ(text.view(), c.kept);
        EXPECT_EQ(text.length, c.kept.size());
    }
}

TEST(BoundedTextTest, LayoutIsLengthByteThenRoom) {
    static_assert(sizeof(BoundedText<8>) == 9);
    static_assert(sizeof(BoundedText<80>) == 81);
    static_assert(sizeof(BoundedText<255>) == 256);
    BoundedText<16> text;
    std::memset(static_cast<void*>(&text), 0xAB, sizeof text);
    text.assign("PORR");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&text);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 1), 4), "PORR");
    for (int i = 5; i < 17; ++i) EXPECT_EQ(bytes[i], 0xAB) << "byte " << i << " behind the text must stay";
}

TEST(BoundedTextTest, LengthByteBeyondTheRoomReadsAsTheRoom) {
    BoundedText<8> text;
    std::memcpy(text.bytes, "ABCDEFGH", 8);
    for (int length : {9, 40, 255}) {
        SCOPED_TRACE(length);
        text.length = static_cast<std::uint8_t>(length);
        EXPECT_EQ(text.size(), 8u);
        EXPECT_EQ(text.view(), "ABCDEFGH");
    }
}

TEST(BoundedTextTest, AppendStopsAtTheRoom) {
    BoundedText<8> text("abc");
    text.append("defghijk");
    EXPECT_EQ(text.view(), "abcdefgh");
    text.append("x");
    EXPECT_EQ(text.view(), "abcdefgh");
}

}  // namespace
