// Authenticode signing with the system's cryptography, checked by another
// implementation: osslsigncode verifies what TCodeSigner signed with
// credentials that openssl made for the test; the signed program still runs
// and its PE checksum is what imagehlp computes.
#include "platform/routines_CodeSign.h"
#include "platform/routines_WinText.h"
#include "support/CodeSignPeer.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <imagehlp.h>

namespace {

class CodeSign : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Peer = new TCodeSignPeer(); }
    static void TearDownTestSuite() {
        delete Peer;
        Peer = nullptr;
    }
    void SetUp() override { ASSERT_EQ(Peer->Error(), "") << "no test credentials"; }

    // A copy of a small program of this build, with bytes appended after its
    // image (as the self-extracting setup.exe has) that need padding to 8.
    std::string ProgramCopy(const std::string& name) {
        const std::string path = Folder + name;
        std::string bytes = ReadWholeFile(ThisProgramFolder() + "qfd_cmdline_probe.exe") + kPayload;
        if (bytes.size() % 8 == 0)
            bytes += 'x';
        WriteTextFile(path, bytes);
        return path;
    }
    // osslsigncode's verdict on a copy under a plain name.
    std::string Verify(const std::string& path) {
        const std::string copy = Work / "verified.exe";
        if (!CopyFileTo(path, copy, false))
            return "cannot copy " + path;
        return Peer->Verify(copy);
    }

    static constexpr const char* kPayload = "PAYLOAD-AFTER-THE-IMAGE";
    static TCodeSignPeer* Peer;
    TTempFolder Work;
    const std::string Folder = Work / "Signé Ordner\\";
    const bool FFolderMade = CreateDir(RemoveBackslash(Folder));
};
TCodeSignPeer* CodeSign::Peer = nullptr;

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

// The certificate table's entry of a program of this build's width, read through the
// system's structures.
IMAGE_DATA_DIRECTORY CertificateEntry(const std::string& b, size_t& checkSumAt, size_t& entryAt) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(b.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(b.data() + dos->e_lfanew);
    checkSumAt = static_cast<size_t>(reinterpret_cast<const char*>(&nt->OptionalHeader.CheckSum) - b.data());
    const IMAGE_DATA_DIRECTORY* e = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    entryAt = static_cast<size_t>(reinterpret_cast<const char*>(e) - b.data());
    return *e;
}

TEST_F(CodeSign, ASignedProgramVerifiesKeepsItsBytesRunsAndAChangedByteBreaksTheSignature) {
    const std::string path = ProgramCopy("probe program.exe"), before = ReadWholeFile(path);
    // The chain: the CA comes first in the file, the signer second.
    TCodeSigner signer(Peer->File("chain.spc"), Peer->File("signer.pvk"));
    EXPECT_EQ(signer.SignerName(), "Quenfold Test Signer");
    signer.Sign(path, {"Qfd Prüfprogramm", "https://quenfold.invalid/probe"});
    EXPECT_EQ(Verify(path), "");

    const std::string after = ReadWholeFile(path);
    size_t checkSumAt = 0, entryAt = 0;
    const IMAGE_DATA_DIRECTORY table = CertificateEntry(after, checkSumAt, entryAt);
    // The table follows the bytes there were, padded with zeros to 8, and
    // ends the file; its WIN_CERTIFICATE spans it all.
    EXPECT_EQ(table.VirtualAddress, (before.size() + 7) / 8 * 8);
    ASSERT_EQ(static_cast<size_t>(table.VirtualAddress) + table.Size, after.size());
    EXPECT_EQ(table.Size % 8, 0u);
    EXPECT_EQ(Le32(after, table.VirtualAddress), table.Size);
    EXPECT_EQ(Le32(after, table.VirtualAddress + 4), 0x00020200u); // revision 2.0, PKCS #7 signed data
    EXPECT_EQ(after.substr(before.size(), table.VirtualAddress - before.size()),
              std::string(table.VirtualAddress - before.size(), '\0'));
    std::string unchanged = after.substr(0, before.size());
    unchanged.replace(checkSumAt, 4, before, checkSumAt, 4);
    unchanged.replace(entryAt, 8, before, entryAt, 8);
    EXPECT_TRUE(unchanged == before) << "signing changed bytes other than the checksum and the table's entry";
    DWORD inHeader = 0, computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(Wide(path).c_str(), &inHeader, &computed), CHECKSUM_SUCCESS);
    EXPECT_EQ(inHeader, computed);

    // The signed program still loads and runs, from a folder of this name too.
    const std::string run = Folder + "run";
    ASSERT_TRUE(CreateDir(run));
    {
        WindowDriver::TProcess p(WindowDriver::QuoteArg(path) + " one \"two three\"", run);
        ASSERT_TRUE(p.WaitForExit(30000));
        EXPECT_EQ(p.ExitCode(), 0u);
    }
    const std::string params = ReadWholeFile(run + "\\params.txt"), expected = "\none\ntwo three\n";
    EXPECT_TRUE(params.size() > expected.size() && params.substr(params.size() - expected.size()) == expected)
        << params;

    // The appended bytes are signed: one of them changed, the signature fails.
    std::string damaged = after;
    damaged[after.find(kPayload)] ^= 0x20;
    WriteTextFile(path, damaged);
    EXPECT_NE(Verify(path), "");
}

TEST_F(CodeSign, EachKindOfCredentialsFileSigns) {
    // A PEM file with the whole chain, signer first this time.
    WriteTextFile(Folder + "chain.pem",
                  ReadWholeFile(Peer->File("signer-pem.cer")) + ReadWholeFile(Peer->File("ca.pem")));
    for (const std::string& credentials :
         {Peer->File("signer.cer"), Peer->File("signer-pem.cer"), Folder + "chain.pem"}) {
        SCOPED_TRACE(credentials);
        const std::string path = ProgramCopy("probe.exe");
        TCodeSigner signer(credentials, Peer->File("signer.pvk"));
        signer.Sign(path, {"", ""});
        EXPECT_EQ(Verify(path), "");
    }
}

TEST_F(CodeSign, CredentialsThatCannotSignAreRefusedNamingTheirFile) {
    const std::string garbage = Folder + "garbage.spc", cut = Folder + "cut.pvk";
    std::string noise(3000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 131 + 7);
    WriteTextFile(garbage, noise);
    WriteTextFile(cut, ReadWholeFile(Peer->File("signer.pvk")).substr(0, 600));
    const std::string spc = Peer->File("chain.spc"), pvk = Peer->File("signer.pvk");
    struct TCase {
        std::string Credentials, Key, Named, Says;
    } cases[] = {
        {spc, Folder + "no such key.pvk", Folder + "no such key.pvk", "does not exist"},
        {Folder + "no such.spc", pvk, Folder + "no such.spc", "does not exist"},
        {garbage, pvk, garbage, "holds no certificate"},
        {pvk, pvk, pvk, "holds no certificate"},
        {spc, spc, spc, "is not an RSA private key"},
        {spc, cut, cut, "is not an RSA private key"},
        {spc, Peer->File("locked.pvk"), Peer->File("locked.pvk"), "password"},
        {spc, Peer->File("stray.pvk"), Peer->File("stray.pvk"),
         "No certificate in the credentials file " + spc},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Credentials + " / " + c.Key);
        try {
            TCodeSigner signer(c.Credentials, c.Key);
            ADD_FAILURE() << "accepted";
        } catch (const ECodeSign& e) {
            EXPECT_NE(e.Message().find(c.Named), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(c.Says), std::string::npos) << e.Message();
        }
    }
}

TEST_F(CodeSign, AFileThatCannotBeSignedIsNamedAndLeftAsItWas) {
    TCodeSigner signer(Peer->File("chain.spc"), Peer->File("signer.pvk"));
    const std::string text = Folder + "readme.txt", cut = Folder + "cut.exe", held = ProgramCopy("held.exe");
    WriteTextFile(text, "not a program at all");
    // The headers of a program without the rest: the PE header lies beyond the end.
    WriteTextFile(cut, ReadWholeFile(held).substr(0, 0x40));
    for (const std::string& path : {text, cut, held}) {
        SCOPED_TRACE(path);
        const std::string bytes = ReadWholeFile(path);
        // Another program reads the file and lets nobody write it.
        std::unique_ptr<TFileStream> holder;
        if (path == held)
            holder = std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
        try {
            signer.Sign(path, {"", ""});
            ADD_FAILURE() << "signed";
        } catch (const ECodeSign& e) {
            EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
        }
        holder.reset();
        EXPECT_TRUE(ReadWholeFile(path) == bytes);
    }
}

} // namespace
