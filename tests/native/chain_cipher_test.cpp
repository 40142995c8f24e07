#include "protocol/chain_cipher.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace klv {
namespace {

unsigned HexByte(const std::string& text, std::size_t pair) {
    return static_cast<unsigned>(std::stoul(text.substr(pair * 2, 2), nullptr, 16));
}

TEST(ChainCipher, WorkedArithmeticSeed10Plain61) {
    // (0x61 + 0x10) mod 255 = 0x71, then XOR the first key byte 'q' (0x71) = 0x00.
    EXPECT_EQ(ChainEncryptWithSeed("a", "qvtrm", 0x10), "1000");
    EXPECT_EQ(ChainDecrypt("1000", "qvtrm"), "a");
    // Key 'K' = 0x4B: 0x71 ^ 0x4B = 0x3A.
    EXPECT_EQ(ChainEncryptWithSeed("a", "K", 0x10), "103A");
}

TEST(ChainCipher, ChainWrapsModulo255NotModulo256) {
    // prev 0x20, plain 0xF0: 0x110 mod 255 = 0x11 (mod 256 would give 0x10).
    const std::string enc = ChainEncryptWithSeed("\xF0", std::string(1, '\0') + "x", 0x20);
    // A key byte of 0 leaves the sum visible.
    EXPECT_EQ(enc, "2011");
    EXPECT_EQ(ChainDecrypt("2011", std::string(1, '\0')), "\xF0");
}

TEST(ChainCipher, ChainUsesPreviousCipherByteNotPlainByte) {
    // Second byte: prev is the first cipher byte 0x00, so 'b' (0x62) + 0 = 0x62 ^ 'v' (0x76) = 0x14.
    EXPECT_EQ(ChainEncryptWithSeed("ab", "qvtrm", 0x10), "100014");
}

TEST(ChainCipher, OutputIsUpperCaseHexTwoPerByte) {
    for (int seed = 0; seed < 256; seed += 17) {
        const std::string enc = ChainEncryptWithSeed("hello world", "qvtrm", static_cast<std::uint8_t>(seed));
        ASSERT_EQ(enc.size(), 2 + 2 * 11u);
        EXPECT_EQ(HexByte(enc, 0), static_cast<unsigned>(seed));
        for (char c : enc) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << enc;
    }
}

TEST(ChainCipher, EmptyTextIsTheSeedAlone) {
    const std::string enc = ChainEncrypt("", "qvtrm");
    EXPECT_EQ(enc.size(), 2u);
    EXPECT_EQ(ChainDecrypt(enc, "qvtrm"), "");
}

TEST(ChainCipher, EveryByteOneTo254RoundTripsUnderSeveralKeys) {
    std::string all;
    for (int b = 1; b <= 254; ++b) all += static_cast<char>(b);
    for (const std::string key : {"qvtrm", "", "K", "\xFF\x80\x01", "a much longer key than usual"}) {
        for (int seed = 0; seed < 256; ++seed) {
            const std::string enc = ChainEncryptWithSeed(all, key, static_cast<std::uint8_t>(seed));
            ASSERT_EQ(ChainDecrypt(enc, key), all) << "key '" << key << "' seed " << seed;
        }
    }
}

TEST(ChainCipher, PlainZeroAndFFDependOnPreviousByte) {
    const std::string zeroKey(1, '\0');
    // Plain 0 after prev 0x10: cipher 0x10; it decodes through the second branch as 255.
    EXPECT_EQ(ChainDecrypt(ChainEncryptWithSeed(std::string(1, '\0'), zeroKey, 0x10), zeroKey), "\xFF");
    // After a seed of 255 the plain 0 survives (cipher 0, second branch gives 0).
    EXPECT_EQ(ChainDecrypt(ChainEncryptWithSeed(std::string(1, '\0'), zeroKey, 0xFF), zeroKey), std::string(1, '\0'));
    // Plain 255 after a seed of 255 comes back as 0.
    EXPECT_EQ(ChainDecrypt(ChainEncryptWithSeed("\xFF", zeroKey, 0xFF), zeroKey), std::string(1, '\0'));
    // Plain 255 after another seed survives.
    EXPECT_EQ(ChainDecrypt(ChainEncryptWithSeed("\xFF", zeroKey, 0x10), zeroKey), "\xFF");
}

TEST(ChainCipher, EmptyKeyMeansKerravinCycledOverEightBytes) {
    const std::string text = "0123456789ABCDEFGH";  // more than two cycles of the key
    for (int seed : {0, 99, 255}) {
        const auto s = static_cast<std::uint8_t>(seed);
        EXPECT_EQ(ChainEncryptWithSeed(text, "", s), ChainEncryptWithSeed(text, "Kerravin", s));
        EXPECT_NE(ChainEncryptWithSeed(text, "", s), ChainEncryptWithSeed(text, "Kerravi", s));
    }
}

TEST(ChainCipher, OneByteKeyCombinesEveryByteWithIt) {
    EXPECT_EQ(ChainEncryptWithSeed("abc", "K", 7), ChainEncryptWithSeed("abc", "KKK", 7));
}

TEST(ChainCipher, LowerCaseHexDecodesLikeUpperCase) {
    const std::string enc = ChainEncryptWithSeed("Kesto.exe", "qvtrm", 0xAB);
    std::string lower = enc;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, enc);
    EXPECT_EQ(ChainDecrypt(lower, "qvtrm"), "Kesto.exe");
}

TEST(ChainCipher, MalformedInputStopsAtTheFirstBadPair) {
    const std::string enc = ChainEncryptWithSeed("xyz", "qvtrm", 0x3C);  // 8 characters
    struct Case {
        std::string text;
        std::string expected;
        const char* why;
    };
    const Case cases[] = {
        {"", "", "nothing to read"},
        {"3", "", "a lone seed digit is not a seed"},
        {"G1" + enc.substr(2), "", "a bad seed yields nothing"},
        {" 3" + enc.substr(2), "", "a blank is not a hex digit"},
        {enc.substr(0, 2), "", "the seed alone"},
        {enc.substr(0, 4) + "ZZ" + enc.substr(6), "x", "third pair not hex: one byte"},
        {enc.substr(0, 4) + "-1", "x", "a sign is not a hex digit"},
        {enc.substr(0, 6) + "7", "xy", "odd length: the last lone digit is ignored"},
    };
    for (const Case& c : cases) EXPECT_EQ(ChainDecrypt(c.text, "qvtrm"), c.expected) << c.why;
}

TEST(ChainCipher, ThreeCharacterTextReadsItsLoneDigit) {
    // Seed 0x00, lone digit 5: t = 'q' ^ 5 = 0x74 > 0, plain 0x74 't'.
    EXPECT_EQ(ChainDecrypt("005", "qvtrm"), "t");
}

TEST(ChainCipher, SeedsVaryBetweenCallsAndThreadsDoNotRace) {
    // Run under ThreadSanitizer/ASan builds this also proves the generator is per thread.
    std::vector<std::thread> threads;
    std::vector<std::set<std::string>> seen(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&seen, t] {
            for (int i = 0; i < 2000; ++i) seen[t].insert(ChainEncrypt("aFlag=KLVGetAFile\r\n", "qvtrm").substr(0, 2));
        });
    for (auto& th : threads) th.join();
    for (const auto& s : seen) EXPECT_GT(s.size(), 8u) << "the seed should not be constant";
}

}  // namespace
}  // namespace klv
