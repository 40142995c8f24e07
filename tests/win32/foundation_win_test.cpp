// The Windows side of the foundation: the tier itself (code page 936), version
// resources read through the real version API, and the scrambler under the
// Windows counter.
#include <windows.h>

#include <gtest/gtest.h>

#include "protocol/chain_cipher.h"
#include "protocol/version.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

TEST(WineTier, RunsUnderCodePage936) {
    // The launcher's texts, manifests and file names are code page 936; a tier
    // that silently ran under 1252 would hide every double-byte fault.
    EXPECT_EQ(GetACP(), 936u);
    EXPECT_TRUE(IsDBCSLeadByte(0xC4));
}

TEST(ReadFileVersion, ReadsTheFileVersionNotTheProductVersion) {
    // The subject's product version is 9.9.9.9 to catch a mix-up of the fields.
    EXPECT_EQ(ReadFileVersion(test::SubjectProgram("version_subject.exe")), "1.0.12.15");
}

TEST(ReadFileVersion, IsEmptyWithoutAVersionResourceOrFile) {
    EXPECT_EQ(ReadFileVersion(test::SubjectProgram("plain_subject.exe")), "");
    EXPECT_EQ(ReadFileVersion(test::SubjectProgram("no_such_program.exe")), "");
}

TEST(ChainCipher, RoundTripsWithTheWindowsCounterSeed) {
    const std::string plain = "aFlag=KLVGetAFile\r\nFileName=sub\\\xC4\xE3\xBA\xC3.dll\r\n";
    const std::string enc = ChainEncrypt(plain, kRequestKey);
    EXPECT_EQ(enc.size(), 2 + 2 * plain.size());
    EXPECT_EQ(ChainDecrypt(enc, kRequestKey), plain);
}

}  // namespace
}  // namespace klv
