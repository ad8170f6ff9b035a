#include "platform/routines_CodeSign.h"
#include "platform/routines_WinText.h"
#include <algorithm>
#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

namespace {

// Credentials files are small; anything larger is not one.
constexpr int64_t kMaxCredentialsSize = 1 << 20, kMaxKeySize = 64 << 10;
constexpr size_t kMaxCertificates = 64;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string Hex32(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int i = 7; i >= 0; --i)
        s += digits[(v >> (4 * i)) & 15];
    return s;
}

// "CryptImportKey failed, code 0x80090005: Bad Data", from the last error.
std::string CallFailure(const char* call) {
    const DWORD code = GetLastError();
    return std::string(call) + " failed, code " + Hex32(code) + ": " + SystemErrorText(code);
}

// crypt32 is loaded from the system folder when a build signs, never from
// the program's own folder, and only then.
struct TCrypt32 {
    decltype(&CertCreateCertificateContext) CreateCertificateContext = nullptr;
    decltype(&CertFreeCertificateContext) FreeCertificateContext = nullptr;
    decltype(&CertOpenStore) OpenStore = nullptr;
    decltype(&CertEnumCertificatesInStore) EnumCertificatesInStore = nullptr;
    decltype(&CertCloseStore) CloseStore = nullptr;
    decltype(&CryptStringToBinaryA) StringToBinary = nullptr;
    decltype(&CertGetNameStringW) GetNameString = nullptr;
};

template <typename F> void Resolve(HMODULE m, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
    if (!f)
        throw ECodeSign("Cannot sign: the system's cryptography has no %s", {std::string(name)});
}

// The library of the system folder (never one beside the program), loaded
// at the first call, with its routines filled into api by fill.
template <typename TApi> const TApi& SystemApi(const wchar_t* library, void (*fill)(HMODULE, TApi&)) {
    static TApi api;
    static bool loaded = false;
    if (loaded)
        return api;
    HMODULE m = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!m)
        throw ECodeSign("Cannot sign: " +
                        CallFailure(("LoadLibrary(" + Narrow(library, wcslen(library)) + ")").c_str()));
    fill(m, api);
    loaded = true;
    return api;
}

const TCrypt32& Crypt32() {
    return SystemApi<TCrypt32>(L"crypt32.dll", [](HMODULE m, TCrypt32& api) {
        Resolve(m, "CertCreateCertificateContext", api.CreateCertificateContext);
        Resolve(m, "CertFreeCertificateContext", api.FreeCertificateContext);
        Resolve(m, "CertOpenStore", api.OpenStore);
        Resolve(m, "CertEnumCertificatesInStore", api.EnumCertificatesInStore);
        Resolve(m, "CertCloseStore", api.CloseStore);
        Resolve(m, "CryptStringToBinaryA", api.StringToBinary);
        Resolve(m, "CertGetNameStringW", api.GetNameString);
    });
}

// The key and hash routines of the system's cryptographic service
// providers. ADVAPI32 hands them on to cryptsp.dll, which is not one of the
// system's known libraries and would be looked for beside the program
// first: cryptsp.dll is loaded from the system folder itself.
struct TCryptSp {
    decltype(&CryptReleaseContext) ReleaseContext = nullptr;
    decltype(&CryptDestroyKey) DestroyKey = nullptr;
    decltype(&CryptCreateHash) CreateHash = nullptr;
    decltype(&CryptDestroyHash) DestroyHash = nullptr;
    decltype(&CryptHashData) HashData = nullptr;
    decltype(&CryptGetHashParam) GetHashParam = nullptr;
    decltype(&CryptAcquireContextW) AcquireContextW = nullptr;
    decltype(&CryptImportKey) ImportKey = nullptr;
    decltype(&CryptSignHashW) SignHashW = nullptr;
    decltype(&CryptVerifySignatureW) VerifySignatureW = nullptr;
};

const TCryptSp& CryptSp() {
    return SystemApi<TCryptSp>(L"cryptsp.dll", [](HMODULE m, TCryptSp& api) {
        Resolve(m, "CryptReleaseContext", api.ReleaseContext);
        Resolve(m, "CryptDestroyKey", api.DestroyKey);
        Resolve(m, "CryptCreateHash", api.CreateHash);
        Resolve(m, "CryptDestroyHash", api.DestroyHash);
        Resolve(m, "CryptHashData", api.HashData);
        Resolve(m, "CryptGetHashParam", api.GetHashParam);
        Resolve(m, "CryptAcquireContextW", api.AcquireContextW);
        Resolve(m, "CryptImportKey", api.ImportKey);
        Resolve(m, "CryptSignHashW", api.SignHashW);
        Resolve(m, "CryptVerifySignatureW", api.VerifySignatureW);
    });
}

// A certificate as the system reads it.
class TCertificate {
public:
    explicit TCertificate(const TSignBytes& der)
        : FContext(Crypt32().CreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()))) {}
    ~TCertificate() {
        if (FContext)
            Crypt32().FreeCertificateContext(FContext);
    }
    TCertificate(const TCertificate&) = delete;
    TCertificate& operator=(const TCertificate&) = delete;
    bool Valid() const { return FContext != nullptr; }
    std::string SubjectName() const {
        wchar_t name[512];
        const DWORD n =
            Crypt32().GetNameString(FContext, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
        return n > 1 ? Narrow(name, n - 1) : std::string();
    }

private:
    PCCERT_CONTEXT FContext;
};

class TProvider {
public:
    HCRYPTPROV H = 0;
    TProvider() = default;
    ~TProvider() {
        if (H)
            CryptSp().ReleaseContext(H, 0);
    }
    TProvider(const TProvider&) = delete;
    TProvider& operator=(const TProvider&) = delete;
};

class TKey {
public:
    HCRYPTKEY H = 0;
    TKey() = default;
    ~TKey() {
        if (H)
            CryptSp().DestroyKey(H);
    }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
};

// A SHA-256 hash of the provider; failures raise EOSError naming the call.
class TSha256 {
public:
    explicit TSha256(HCRYPTPROV prov) {
        if (!CryptSp().CreateHash(prov, CALG_SHA_256, 0, 0, &FHash))
            throw EOSError(CallFailure("CryptSp().CreateHash(SHA-256)"));
    }
    ~TSha256() { CryptSp().DestroyHash(FHash); }
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Add(const uint8_t* data, size_t n) {
        while (n > 0) {
            const DWORD part = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
            if (!CryptSp().HashData(FHash, data, part, 0))
                throw EOSError(CallFailure("CryptHashData"));
            data += part;
            n -= part;
        }
    }
    void Add(const TSignBytes& b) { Add(b.data(), b.size()); }
    TSignBytes Value() {
        TSignBytes v(32);
        DWORD n = 32;
        if (!CryptSp().GetHashParam(FHash, HP_HASHVAL, v.data(), &n, 0) || n != 32)
            throw EOSError(CallFailure("CryptGetHashParam"));
        return v;
    }
    HCRYPTHASH Handle() const { return FHash; }

private:
    HCRYPTHASH FHash = 0;
};

// The bytes of a small file; what cannot be read fails naming the file as kind.
TSignBytes ReadSmallFile(const std::string& path, const char* kind, int64_t limit) {
    if (!FileExists(path))
        throw ECodeSign("The %s %s does not exist", {std::string(kind), path});
    try {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        const int64_t size = f.Size();
        if (size > limit)
            throw ECodeSign("The %s %s is too large (%d bytes) to be one", {std::string(kind), path, size});
        TSignBytes bytes(static_cast<size_t>(size));
        f.ReadBuffer(bytes.data(), size);
        return bytes;
    } catch (const EStreamError& e) {
        throw ECodeSign("Cannot read the %s %s: %s", {std::string(kind), path, e.Message()});
    }
}

TSignBytes Base64(const std::string& text) {
    DWORD n = 0;
    if (!Crypt32().StringToBinary(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr,
                                  &n, nullptr, nullptr))
        return {};
    TSignBytes bytes(n);
    if (!Crypt32().StringToBinary(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                                  bytes.data(), &n, nullptr, nullptr))
        return {};
    bytes.resize(n);
    return bytes;
}

// The certificates of a PKCS #7 message (a .spc file); none when it is not one.
std::vector<TSignBytes> Pkcs7Certificates(const TSignBytes& message) {
    std::vector<TSignBytes> found;
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(message.size()), const_cast<BYTE*>(message.data())};
    HCERTSTORE store = Crypt32().OpenStore(CERT_STORE_PROV_PKCS7, kEncoding, 0, 0, &blob);
    if (!store)
        return found;
    for (PCCERT_CONTEXT c = Crypt32().EnumCertificatesInStore(store, nullptr);
         c && found.size() <= kMaxCertificates; c = Crypt32().EnumCertificatesInStore(store, c))
        found.emplace_back(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded);
    Crypt32().CloseStore(store, 0);
    return found;
}

// Every certificate of a credentials file: PEM certificates or a PEM PKCS #7
// message, one DER certificate, or a DER PKCS #7 message.
std::vector<TSignBytes> ReadCertificates(const TSignBytes& file) {
    const std::string text(file.begin(), file.end());
    std::vector<TSignBytes> found;
    for (const std::string& block : PemBlocks(text, "CERTIFICATE"))
        found.push_back(Base64(block));
    for (const std::string& block : PemBlocks(text, "PKCS7"))
        for (TSignBytes& c : Pkcs7Certificates(Base64(block)))
            found.push_back(std::move(c));
    if (found.empty()) {
        if (TCertificate(file).Valid())
            found.push_back(file);
        else
            found = Pkcs7Certificates(file);
    }
    return found;
}

bool SameKey(const TCertificateFields& cert, const TPvkKey& key) {
    return !cert.Modulus.empty() && cert.Modulus == key.Modulus && cert.Exponent == key.Exponent;
}

void WriteAt(TStream& f, int64_t pos, const uint8_t* data, int64_t n) {
    f.SetPosition(pos);
    f.WriteBuffer(data, n);
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

struct TCodeSigner::TImpl {
    std::string CredentialsFile, PrivateKeyFile, SignerName;
    std::vector<TSignBytes> Certificates;
    TSignBytes IssuerAndSerial;
    TProvider Provider;
    TKey Key;
    DWORD KeySpec = AT_KEYEXCHANGE;

    void LoadKey(const TPvkKey& key);
    void FindSigner(const TPvkKey& key);
    TSignBytes SignAttributes(const TSignBytes& attributes);
    void SignOpenFile(TFileStream& f, const TPeSignLayout& layout, const TCodeSignDescription& d);
};

void TCodeSigner::TImpl::LoadKey(const TPvkKey& key) {
    if (!CryptSp().AcquireContextW(&Provider.H, nullptr, nullptr, PROV_RSA_AES,
                                   CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        throw ECodeSign("Cannot use the private key file %s: %s",
                        {PrivateKeyFile, CallFailure("CryptAcquireContext(PROV_RSA_AES)")});
    if (!CryptSp().ImportKey(Provider.H, key.Blob.data(), static_cast<DWORD>(key.Blob.size()), 0, 0, &Key.H))
        throw ECodeSign("Cannot use the private key file %s: %s",
                        {PrivateKeyFile, CallFailure("CryptImportKey")});
    KeySpec = key.ForSignature ? AT_SIGNATURE : AT_KEYEXCHANGE;
}

void TCodeSigner::TImpl::FindSigner(const TPvkKey& key) {
    Certificates = ReadCertificates(ReadSmallFile(CredentialsFile, "credentials file", kMaxCredentialsSize));
    if (Certificates.empty())
        throw ECodeSign("The credentials file %s holds no certificate; a .spc (PKCS #7) or .cer (DER or PEM) "
                        "file is needed",
                        {CredentialsFile});
    if (Certificates.size() > kMaxCertificates)
        throw ECodeSign("The credentials file %s holds more than %d certificates",
                        {CredentialsFile, static_cast<int>(kMaxCertificates)});
    for (const TSignBytes& der : Certificates) {
        const TCertificate cert(der);
        TCertificateFields fields;
        if (!cert.Valid() || !ReadCertificateFields(der, fields))
            throw ECodeSign("The credentials file %s holds a damaged certificate", {CredentialsFile});
        if (IssuerAndSerial.empty() && SameKey(fields, key)) {
            IssuerAndSerial = fields.IssuerAndSerial;
            SignerName = cert.SubjectName();
        }
    }
    if (IssuerAndSerial.empty())
        throw ECodeSign("No certificate in the credentials file %s belongs to the private key in %s",
                        {CredentialsFile, PrivateKeyFile});
}

// The signature of the attributes' SHA-256 digest, big-endian as PKCS #7
// keeps it; checked with the key before it is used.
TSignBytes TCodeSigner::TImpl::SignAttributes(const TSignBytes& attributes) {
    TSha256 hash(Provider.H);
    hash.Add(attributes);
    DWORD n = 0;
    if (!CryptSp().SignHashW(hash.Handle(), KeySpec, nullptr, 0, nullptr, &n) || n == 0 || n > 4096)
        throw ECodeSign("Cannot sign with the key of %s: %s", {PrivateKeyFile, CallFailure("CryptSignHash")});
    TSignBytes signature(n);
    if (!CryptSp().SignHashW(hash.Handle(), KeySpec, nullptr, 0, signature.data(), &n))
        throw ECodeSign("Cannot sign with the key of %s: %s", {PrivateKeyFile, CallFailure("CryptSignHash")});
    signature.resize(n);
    TSha256 check(Provider.H);
    check.Add(attributes);
    if (!CryptSp().VerifySignatureW(check.Handle(), signature.data(), n, Key.H, nullptr, 0))
        throw ECodeSign("The key of %s made a signature it does not verify: %s",
                        {PrivateKeyFile, CallFailure("CryptVerifySignature")});
    std::reverse(signature.begin(), signature.end());
    return signature;
}

void TCodeSigner::TImpl::SignOpenFile(TFileStream& f, const TPeSignLayout& layout,
                                      const TCodeSignDescription& d) {
    // The certificate table starts on 8 bytes; padding before it is signed.
    const int64_t size = f.Size(), end = (size + 7) / 8 * 8;
    if (end > size) {
        const uint8_t zeros[8] = {};
        WriteAt(f, size, zeros, end - size);
    }
    TSha256 image(Provider.H);
    ForEachSignedByte(f, layout, end, [&image](const uint8_t* p, size_t n) { image.Add(p, n); });
    const TSignBytes content = SpcIndirectDataContent(image.Value());
    TSha256 contentHash(Provider.H);
    contentHash.Add(DerContentOctets(content));
    const TSignBytes attributes = AuthenticatedAttributes(contentHash.Value(), d.ProgramName, d.MoreInfoUrl);
    const TSignBytes table = WinCertificate(SignedDataContentInfo(content, Certificates, IssuerAndSerial,
                                                                  attributes, SignAttributes(attributes)));
    // The table's place and size are 32-bit fields.
    if (end + static_cast<int64_t>(table.size()) > static_cast<int64_t>(UINT32_MAX))
        throw ECodeSign("Cannot sign %s: a signed program cannot be larger than 4 GiB", {f.FileName()});
    WriteAt(f, end, table.data(), static_cast<int64_t>(table.size()));
    uint8_t entry[8];
    PutLe32(entry, static_cast<uint32_t>(end));
    PutLe32(entry + 4, static_cast<uint32_t>(table.size()));
    WriteAt(f, layout.CertEntryOffset, entry, 8);
    uint8_t sum[4];
    PutLe32(sum, PeCheckSum(f, layout.CheckSumOffset));
    WriteAt(f, layout.CheckSumOffset, sum, 4);
    f.Flush();
}

TCodeSigner::TCodeSigner(const std::string& CredentialsFile, const std::string& PrivateKeyFile)
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->CredentialsFile = CredentialsFile;
    FImpl->PrivateKeyFile = PrivateKeyFile;
    const TPvkKey key =
        ParsePvk(ReadSmallFile(PrivateKeyFile, "private key file", kMaxKeySize), PrivateKeyFile);
    FImpl->LoadKey(key);
    FImpl->FindSigner(key);
}

TCodeSigner::~TCodeSigner() = default;

const std::string& TCodeSigner::SignerName() const {
    return FImpl->SignerName;
}

void TCodeSigner::Sign(const std::string& Path, const TCodeSignDescription& Description) {
    std::unique_ptr<TFileStream> f;
    try {
        f = std::make_unique<TFileStream>(Path, fmOpenReadWrite | fmShareExclusive);
    } catch (const EStreamError& e) {
        throw ECodeSign("Cannot sign %s: %s", {Path, e.Message()});
    }
    const TPeSignLayout layout = ReadPeSignLayout(*f, Path);
    // What signing changes, to put back when it fails.
    const int64_t size = f->Size();
    uint8_t checkSum[4], entry[8];
    f->SetPosition(layout.CheckSumOffset);
    f->ReadBuffer(checkSum, 4);
    f->SetPosition(layout.CertEntryOffset);
    f->ReadBuffer(entry, 8);
    try {
        FImpl->SignOpenFile(*f, layout, Description);
    } catch (const Exception& e) {
        try {
            f->SetSize(size);
            WriteAt(*f, layout.CheckSumOffset, checkSum, 4);
            WriteAt(*f, layout.CertEntryOffset, entry, 8);
        } catch (const Exception&) {
            // The original error says more than this one.
        }
        if (dynamic_cast<const ECodeSign*>(&e))
            throw;
        throw ECodeSign("Cannot sign %s: %s", {Path, e.Message()});
    }
}
