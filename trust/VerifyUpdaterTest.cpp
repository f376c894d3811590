// The checks on real files: TinyUpdater.exe as built (unsigned), signed by the test publisher, the
// signed file with one byte of its code changed, and signed by a certificate with an empty subject.
// The test root is in the machine's trusted root store (fixture test_root).
#include "VerifyUpdater.h"

#include "ScopedCrypt.h"
#include "TempDir.h"
#include "TrustWarmUp.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {
const wchar_t kPublisher[] = L"Tolm Test Publisher";

std::wstring Signed() { return BuildDir() + L"\\trust\\TinyUpdaterSigned.exe"; }
std::wstring Tampered() { return BuildDir() + L"\\trust\\TinyUpdaterTampered.exe"; }
std::wstring NoName() { return BuildDir() + L"\\trust\\TinyUpdaterNoName.exe"; }
std::wstring Unsigned() { return BinPath(L"TinyUpdater.exe"); }
std::wstring Missing() { return BuildDir() + L"\\trust\\NoSuchUpdater.exe"; }

struct FileCase {
    const char* what;
    std::wstring path;
    bool expected;
};
} // namespace

TEST(VerifyFileTrust, AcceptsOnlyAnIntactTrustedSignature)
{
    const FileCase cases[] = {
        {"signed", Signed(), true},
        {"signed, one byte changed", Tampered(), false},
        {"unsigned", Unsigned(), false},
        {"missing", Missing(), false},
        {"signed by a nameless certificate", NoName(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerifyFileTrust(c.path.c_str()), c.expected) << c.what;
}

TEST(VerifyUpdater, AcceptsOnlyAnIntactTrustedSignature)
{
    // A build may be configured for a publisher; the test files carry the test publisher's name.
    const bool acceptsTestPublisher = ExpectedSignerName[0] == L'\0' || std::wcscmp(ExpectedSignerName, kPublisher) == 0;
    const FileCase cases[] = {
        {"signed", Signed(), acceptsTestPublisher},
        {"signed, one byte changed", Tampered(), false},
        {"unsigned", Unsigned(), false},
        {"missing", Missing(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerifyUpdater(c.path.c_str()), c.expected) << c.what;
}

// The run loads the root store in the background; a check racing with that load judges as always.
TEST(VerifyFileTrust, JudgesAsAlwaysWhileTheRootStoreLoadsInTheBackground)
{
    const TrustWarmUp warmUp;
    EXPECT_TRUE(VerifyFileTrust(Signed().c_str()));
    EXPECT_FALSE(VerifyFileTrust(Tampered().c_str()));
}

TEST(VerifyUpdaterSignedBy, ComparesTheSignerNameExactly)
{
    struct NameCase {
        const char* what;
        std::wstring path;
        const wchar_t* expectedName;
        bool expected;
    };
    const NameCase cases[] = {
        {"exact name", Signed(), kPublisher, true},
        {"letter case differs", Signed(), L"Tolm test Publisher", false},
        {"trailing blank", Signed(), L"Tolm Test Publisher ", false},
        {"prefix of the name", Signed(), L"Tolm Test", false},
        {"no name expected", Signed(), L"", true},
        // The name is readable here, but the changed file is refused before it is read.
        {"one byte changed", Tampered(), kPublisher, false},
        {"unsigned", Unsigned(), kPublisher, false},
        {"missing", Missing(), kPublisher, false},
        {"trusted, signer has no name", NoName(), kPublisher, false},
        {"trusted, signer has no name, no name expected", NoName(), L"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerifyUpdaterSignedBy(c.path.c_str(), c.expectedName), c.expected) << c.what;
}

TEST(VerifyUpdaterSignedBy, WorksOnAPathWithJapaneseCharacters)
{
    TempDir dir;
    const std::wstring path = dir.File(L"\u66f4\u65b0\u30d7\u30ed\u30b0\u30e9\u30e0.exe");
    ASSERT_TRUE(CopyFileTo(Signed(), path));
    EXPECT_TRUE(VerifyUpdaterSignedBy(path.c_str(), kPublisher));
}

TEST(GetSignerName, ReadsTheEmbeddedSignerWithoutJudgingTrust)
{
    struct SignerCase {
        const char* what;
        std::wstring path;
        bool succeeds;
        const wchar_t* expectedName;
    };
    const SignerCase cases[] = {
        {"signed", Signed(), true, kPublisher},
        {"signed, one byte changed", Tampered(), true, kPublisher},
        {"signer has no name", NoName(), true, L""},
        {"unsigned", Unsigned(), false, L""},
        {"missing", Missing(), false, L""},
    };
    for (const auto& c : cases) {
        CString name;
        EXPECT_EQ(GetSignerName(c.path.c_str(), name) == ERROR_SUCCESS, c.succeeds) << c.what;
        EXPECT_EQ(std::wstring(name), c.expectedName) << c.what;
    }
}

TEST(GetCertSubjectName, GivesTheCommonNameAsDisplayName)
{
    const std::string der = ReadFileBytes(BuildDir() + L"\\pki\\root.der");
    ScopedCertContext root(::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
    ASSERT_TRUE(root);
    CString name;
    EXPECT_TRUE(GetCertSubjectName(root.Get(), name));
    EXPECT_EQ(std::wstring(name), L"Tolm Test Root CA");
}
