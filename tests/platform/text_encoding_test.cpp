// Decoding language-file texts: UTF-8 kept, CP932 from Windows converted, junk marked.
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace q47 {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Utf8Validation, AcceptsWellFormedText) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("Ready"));
    EXPECT_TRUE(isValidUtf8("設定 确认 ｶﾀ"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));      // U+1F600
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));      // U+10FFFF
}

TEST(Utf8Validation, RefusesMalformedSequences) {
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE7\xA1"));          // cut short
    EXPECT_FALSE(isValidUtf8("\x80"));              // lone continuation
    EXPECT_FALSE(isValidUtf8("\x90\xDD\x92\xE8"));  // CP932 "設定"
}

TEST(TextDecoding, Utf8IsKeptAndCp932IsConverted) {
    EXPECT_EQ(toUtf8("确认"), "确认");
    EXPECT_EQ(toUtf8("\x90\xDD\x92\xE8"), "設定");
    EXPECT_EQ(toUtf8("\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E"), "ＭＳ ゴシック");
    EXPECT_EQ(toUtf8("\xB6\xC0"), "ｶﾀ");  // half-width katakana, one byte each
    EXPECT_EQ(toUtf8("Ver \x8A\x6D\x94\x46"), "Ver 確認");
}

TEST(TextDecoding, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(toUtf8("A\x80" "B"), "A" + kFffd + "B");
    EXPECT_EQ(toUtf8("\x90\xDD\x81"), "設" + kFffd);  // lead byte cut off at the end
    EXPECT_EQ(toUtf8("\xA0\xA0"), kFffd + kFffd);
    // A lead byte without a valid partner takes only itself down.
    EXPECT_EQ(cp932ToUtf8("\x81\x0A" "x"), kFffd + "\nx");
}

TEST(TextEncoding, Utf8ToCp932RoundTripsAndMarksWhatCp932Lacks) {
    EXPECT_EQ(utf8ToCp932("設定"), "\x90\xDD\x92\xE8");
    EXPECT_EQ(utf8ToCp932("ｶﾀ"), "\xB6\xC0");
    EXPECT_EQ(utf8ToCp932("a\xF0\x9F\x98\x80" "b"), "a?b");     // emoji
    EXPECT_EQ(utf8ToCp932("x\xC0\xAFy"), "x??y");              // malformed bytes
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("投影画像合成")), "投影画像合成");
}

TEST(TextEncoding, CharacterLengths) {
    EXPECT_EQ(cp932CharLength("\x90\xDD"), 2u);
    EXPECT_EQ(cp932CharLength("\x90"), 1u);  // lead byte with nothing after it
    EXPECT_EQ(cp932CharLength("\xB6"), 1u);
    EXPECT_EQ(cp932CharLength(""), 0u);
    EXPECT_EQ(utf8CharLength("确"), 3u);
    EXPECT_EQ(utf8CharLength("\xE7\xA1"), 0u);
}

}  // namespace
}  // namespace q47
