// Who a signer is: the public key in its certificate, on certificates taken
// from real images signed with throwaway keys (osslsigncode, as the build
// signs), and on certificates damaged in the ways a hostile file can.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "platform/certificate_key.h"
#include "support/temp_folder.h"

namespace klv::platform {
namespace {

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CertificateKeyTest : public ::testing::Test {
protected:
    // Key A with its certificate and a renewed one (same key, another serial
    // and other dates), key B with a certificate under the same name; each
    // signs the sample image, and the signer's certificate is taken back out
    // of the signed file as DER. Made once for the suite.
    static void SetUpTestSuite() {
        work_ = new test::TempFolder;
        const std::string d = work_->native();
        const std::string subject = " -subj /CN=KLV-test-publisher -addext extendedKeyUsage=codeSigning";
        const std::string image = std::string(KLV_TOOLS_DIR) + "/pe-samples/next-i386.exe";
        const bool made = Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -set_serial 1" + subject +
                                " -keyout " + d + "a.key -out " + d + "a.pem") &&
                          Shell("openssl req -x509 -new -key " + d + "a.key -days 30 -set_serial 2" + subject +
                                " -out " + d + "renewed.pem") &&
                          Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -set_serial 1" + subject +
                                " -keyout " + d + "b.key -out " + d + "b.pem");
        ASSERT_TRUE(made);
        for (const auto& [name, key] : std::map<std::string, std::string>{{"a", "a"}, {"renewed", "a"}, {"b", "b"}}) {
            const std::string pem = name == "renewed" ? "renewed.pem" : name + ".pem";
            ASSERT_TRUE(Shell("osslsigncode sign -h sha256 -certs " + d + pem + " -key " + d + key + ".key -in " +
                              image + " -out " + d + name + ".exe") &&
                        Shell("osslsigncode extract-signature -in " + d + name + ".exe -out " + d + name + ".p7") &&
                        Shell("openssl pkcs7 -inform DER -in " + d + name + ".p7 -print_certs -out " + d + name +
                              ".signer.pem") &&
                        Shell("openssl x509 -in " + d + name + ".signer.pem -outform DER -out " + d + name + ".der") &&
                        Shell("openssl x509 -in " + d + name +
                              ".der -inform DER -pubkey -noout | openssl pkey -pubin "
                              "-outform DER -out " +
                              d + name + ".spki"))
                << name;
            certificates_[name] = Slurp(d + name + ".der");
            keys_[name] = Slurp(d + name + ".spki");
        }
    }
    static void TearDownTestSuite() {
        delete work_;
        work_ = nullptr;
    }

    static test::TempFolder* work_;
    static std::map<std::string, std::string> certificates_;  // DER, as found in the signed image
    static std::map<std::string, std::string> keys_;          // the SubjectPublicKeyInfo, as OpenSSL reads it
};
test::TempFolder* CertificateKeyTest::work_ = nullptr;
std::map<std::string, std::string> CertificateKeyTest::certificates_;
std::map<std::string, std::string> CertificateKeyTest::keys_;

TEST_F(CertificateKeyTest, FindsTheKeyThatOpenSslFinds) {
    for (const char* name : {"a", "renewed", "b"}) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(keys_[name].empty());
        const auto key = CertificatePublicKey(certificates_[name]);
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(std::string(*key), keys_[name]);
    }
    EXPECT_NE(certificates_["a"], certificates_["renewed"]) << "the premise: a renewed certificate is another one";
}

TEST_F(CertificateKeyTest, SameKeyIsTheSamePublisher) {
    const std::string& a = certificates_["a"];
    std::string wrapped = a;  // a certificate one byte longer than its outer length says
    wrapped += '\0';
    struct Row {
        const char* name;
        std::string first, second;
        bool same;
    };
    const Row rows[] = {
        {"the_same_certificate", a, a, true},
        {"renewed_certificate_of_the_key", a, certificates_["renewed"], true},
        {"another_key_under_the_same_name", a, certificates_["b"], false},
        {"renewed_against_another_key", certificates_["renewed"], certificates_["b"], false},
        {"cut_short_by_a_byte", a, a.substr(0, a.size() - 1), false},
        {"a_byte_after_the_certificate", a, wrapped, false},
        {"nothing", a, "", false},
        {"its_key_alone", a, keys_["a"], false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SamePublicKey(row.first, row.second), row.same);
        EXPECT_EQ(SamePublicKey(row.second, row.first), row.same);
    }
}

TEST_F(CertificateKeyTest, EveryCutOfACertificateIsRefused) {
    // Each prefix ends inside some element: none may be read as a certificate,
    // and none may be read past (the sanitizers see to that).
    const std::string& a = certificates_["a"];
    for (std::size_t n = 0; n < a.size(); ++n) {
        const std::unique_ptr<char[]> exact(new char[n ? n : 1]);  // no slack after the cut
        a.copy(exact.get(), n);
        ASSERT_FALSE(CertificatePublicKey(std::string_view(exact.get(), n)).has_value()) << n;
    }
}

}  // namespace
}  // namespace klv::platform
