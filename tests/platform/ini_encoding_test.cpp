// UTF-16 settings files to UTF-8 text and back: nothing a file holds may be lost.
#include "platform/ini_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ini.h"

namespace q47::ini {
namespace {

std::string decode(const std::string& bytes, bool bigEndian, std::string* tail = nullptr) {
    std::string ignored;
    return decodeUtf16(bytes, bigEndian, tail ? tail : &ignored);
}

TEST(Utf16Decoding, GivesUtf8ForBothByteOrders) {
    EXPECT_EQ(decode(std::string("A\0=\0\x2D\x8A", 6), false), "A=設");
    EXPECT_EQ(decode(std::string("\0A\0=\x8A\x2D", 6), true), "A=設");
    // U+1F600 as a surrogate pair.
    EXPECT_EQ(decode(std::string("\x3D\xD8\x00\xDE", 4), false), "\xF0\x9F\x98\x80");
    EXPECT_EQ(decode(std::string("\xD8\x3D\xDE\x00", 4), true), "\xF0\x9F\x98\x80");
}

TEST(Utf16Decoding, KeepsWhatIsNoCharacterSoItEncodesBack) {
    const std::string awkward[] = {
        std::string("\x3D\xD8", 2),              // high surrogate at the end
        std::string("\x00\xDE" "A\0", 4),        // low surrogate alone
        std::string("\x00\xDE\x3D\xD8", 4),      // the pair in the wrong order
        std::string("\x3D\xD8\x3D\xD8\x00\xDE", 6),  // a lone high, then a pair
        std::string("\0\0\r\0\n\0", 6),          // NUL and a line end
        std::string("\xFF\xFF\xFE\xFF", 4),      // noncharacters
    };
    for (const std::string& bytes : awkward) {
        for (bool bigEndian : {false, true}) {
            std::string tail;
            const std::string text = decode(bytes, bigEndian, &tail);
            EXPECT_TRUE(tail.empty());
            EXPECT_TRUE(isWideText(text));
            EXPECT_EQ(encodeUtf16(text, bigEndian), bytes);
        }
    }
}

TEST(Utf16Decoding, AnOddLastByteIsSetAside) {
    std::string tail;
    EXPECT_EQ(decode(std::string("A\0B", 3), false, &tail), "A");
    EXPECT_EQ(tail, "B");
}

TEST(Utf16Encoding, ABrokenByteBecomesAReplacementCharacter) {
    EXPECT_EQ(encodeUtf16("a\xFF" "b", false), std::string("a\0\xFD\xFF" "b\0", 6));
}

TEST(Utf16Text, SurrogateFormsAreReplacedForThePrograms) {
    EXPECT_EQ(withoutSurrogates("a\xED\xA0\xBD" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(withoutSurrogates("確認"), "確認");
    EXPECT_FALSE(isWideText("\xED\xA0"));
    EXPECT_FALSE(isWideText("\x83\x41"));
}

TEST(Utf16Document, BytesComeBackExactlyWithoutAnEdit) {
    const std::string files[] = {
        std::string("\xFF\xFE[\0S\0]\0\r\0K\0=\0\x3D\xD8\r\0", 18),
        std::string("\xFE\xFF\0[\0S\0]\0\r\0K\0=\xD8\x3D\0\r" "X", 19),
        std::string("\xFF\xFE", 2),
        std::string("\xFF\xFE\xFF\xFE", 4),  // a second mark is a character of the text
    };
    for (const std::string& bytes : files) {
        const Document doc(bytes);
        EXPECT_NE(doc.encoding(), Document::Encoding::Bytes);
        EXPECT_EQ(doc.bytes(), bytes);
    }
    EXPECT_EQ(Document("\xEF\xBB\xBF[S]").encoding(), Document::Encoding::Bytes);
}

TEST(Utf16Document, AFileThatIsOnlyAByteOrderMarkGetsUtf16Lines) {
    Document doc(std::string("\xFF\xFE", 2));
    ASSERT_TRUE(doc.set("S", "K", "v"));
    EXPECT_EQ(doc.bytes(), std::string("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0v\0\r\0\n\0", 22));
}

}  // namespace
}  // namespace q47::ini
