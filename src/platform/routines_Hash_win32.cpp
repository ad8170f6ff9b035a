// SHA-256 through CNG: the provider of the system, which is what Windows
// itself trusts for its own checks.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_Hash.h"
#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <vector>
// Last: the toolkit's names must not meet the Windows macros.
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

namespace {

// bcrypt.dll is not one of the system's known libraries: imported, it would
// be looked for beside the program first (a download folder). It is loaded
// from the system folder alone, at the first use.
struct TCng {
    decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
    decltype(&BCryptCreateHash) CreateHash = nullptr;
    decltype(&BCryptHashData) HashData = nullptr;
    decltype(&BCryptFinishHash) FinishHash = nullptr;
    decltype(&BCryptDestroyHash) DestroyHash = nullptr;
    decltype(&BCryptGenRandom) GenRandom = nullptr;
    bool Loaded = false;

    TCng() {
        HMODULE m = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!m)
            return;
        auto get = [m](auto& f, const char* name) {
            f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(
                reinterpret_cast<void*>(GetProcAddress(m, name)));
            return f != nullptr;
        };
        Loaded = get(OpenAlgorithmProvider, "BCryptOpenAlgorithmProvider") &
                 get(CloseAlgorithmProvider, "BCryptCloseAlgorithmProvider") &
                 get(CreateHash, "BCryptCreateHash") & get(HashData, "BCryptHashData") &
                 get(FinishHash, "BCryptFinishHash") & get(DestroyHash, "BCryptDestroyHash") &
                 get(GenRandom, "BCryptGenRandom");
    }
};

const TCng& Cng() {
    static const TCng cng;
    if (!cng.Loaded)
        throw EOSError("SHA-256 is not available: bcrypt.dll cannot be loaded from the system folder");
    return cng;
}

// CNG answers with an NTSTATUS; the message names the call and the status.
[[noreturn]] void FailCng(const char* call, NTSTATUS status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    throw EOSError(std::string("SHA-256 is not available: ") + call + " failed with status " + code);
}
} // namespace

TSha256::TSha256() {
    const TCng& cng = Cng();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = cng.OpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status))
        FailCng("BCryptOpenAlgorithmProvider", status);
    FAlgorithm = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // The provider keeps the hash object itself (no buffer given: Windows 7 and later).
    status = cng.CreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        cng.CloseAlgorithmProvider(algorithm, 0);
        FailCng("BCryptCreateHash", status);
    }
    FHash = hash;
}

TSha256::~TSha256() {
    const TCng& cng = Cng();
    if (FHash)
        cng.DestroyHash(static_cast<BCRYPT_HASH_HANDLE>(FHash));
    if (FAlgorithm)
        cng.CloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(FAlgorithm), 0);
}

void TSha256::Update(const void* data, size_t size) {
    const TCng& cng = Cng();
    if (FFinished)
        throw EInvalidOperation("The SHA-256 digest is already finished");
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        NTSTATUS status = cng.HashData(static_cast<BCRYPT_HASH_HANDLE>(FHash), bytes, part, 0);
        if (!BCRYPT_SUCCESS(status))
            FailCng("BCryptHashData", status);
        bytes += part;
        size -= part;
    }
}

TSha256Digest TSha256::Finish() {
    if (FFinished)
        throw EInvalidOperation("The SHA-256 digest is already finished");
    FFinished = true;
    const TCng& cng = Cng();
    TSha256Digest digest{};
    NTSTATUS status = cng.FinishHash(static_cast<BCRYPT_HASH_HANDLE>(FHash), digest.data(),
                                     static_cast<ULONG>(digest.size()), 0);
    if (!BCRYPT_SUCCESS(status))
        FailCng("BCryptFinishHash", status);
    return digest;
}

TSha256Digest Sha256OfFile(const std::string& path) {
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    const int64_t size = file.Size();
    TSha256 sha;
    std::vector<char> block(1 << 20);
    int64_t done = 0, got = 0;
    // Everything the file holds counts, also what was added since its size was taken.
    while ((got = file.Read(block.data(), static_cast<int64_t>(block.size()))) > 0) {
        sha.Update(block.data(), static_cast<size_t>(got));
        done += got;
    }
    if (done < size)
        throw EReadError("Cannot read the file " + path + " to its end");
    return sha.Finish();
}

bool SystemRandom(void* buffer, size_t size) {
    try {
        return BCRYPT_SUCCESS(Cng().GenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                                              BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    } catch (const Exception&) {
        return false;
    }
}
