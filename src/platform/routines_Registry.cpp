// Registry layer over the W functions.
#include "routines_Registry.h"
#include "routines_API.h"
#include "routines_Undo.h"
#include "routines_WinText.h"
#include <cstring>
#include <map>
#include <windows.h>

namespace {

HKEY K(TRegHandle h) {
    return reinterpret_cast<HKEY>(h);
}

// Windows allows 512 levels; a deeper walk means a link loop.
constexpr int MaxKeyDepth = 512;

// A 32-bit program on 64-bit Windows works in the machine's own (64-bit) view
// of HKLM\Software too, so that the setup and the uninstaller of either width
// read and write the same uninstall entry, install record, shared counts and
// journal. Elsewhere the flag changes nothing.
REGSAM View() {
    return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

LONG DeleteKey(TRegHandle root, const std::string& key) {
    if (View()) {
        // Every system with WoW64 has RegDeleteKeyExW; Windows 95 has not.
        using Fn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
        static const Fn deleteEx = reinterpret_cast<Fn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
        if (deleteEx)
            return deleteEx(K(root), Wide(key).c_str(), View(), 0);
    }
    return RegDeleteKeyW(K(root), Wide(key).c_str());
}

bool DeleteTree(TRegHandle root, const std::string& key, int depth) {
    if (depth > MaxKeyDepth)
        return false;
    TRegKey k;
    if (!k.Open(root, key, TRegAccess::raRead))
        return k.LastError() == ERROR_FILE_NOT_FOUND;
    std::vector<std::string> subKeys = k.SubKeyNames();
    k.Close();
    bool ok = true;
    for (const std::string& sub : subKeys)
        ok = DeleteTree(root, key + "\\" + sub, depth + 1) && ok;
    LONG rc = DeleteKey(root, key);
    return ok && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
}

bool IsPredefined(TRegHandle h) {
    return h >= RegClassesRoot && h <= PredefinedRegHandle(0x80000060u);
}

// The places of the keys this process holds open, by handle.
std::map<TRegHandle, std::pair<TRegHandle, std::string>>& OpenKeys() {
    static std::map<TRegHandle, std::pair<TRegHandle, std::string>> keys;
    return keys;
}

std::string JoinKey(const std::string& parent, const std::string& key) {
    const std::string sub = NormalizeRegKeyPath(key);
    return parent.empty() ? sub : sub.empty() ? parent : parent + "\\" + sub;
}

} // namespace

bool RegKeyPlace(TRegHandle handle, TRegHandle& root, std::string& path) {
    if (IsPredefined(handle)) {
        root = handle;
        path.clear();
        return true;
    }
    auto it = OpenKeys().find(handle);
    if (it == OpenKeys().end())
        return false;
    root = it->second.first;
    path = it->second.second;
    return true;
}

void TRegKey::Track(TRegHandle parent, const std::string& key) {
    std::string base;
    if (!RegKeyPlace(parent, FRoot, base)) {
        FRoot = 0;
        FPath.clear();
        return;
    }
    FPath = JoinKey(base, key);
}

std::string NormalizeRegKeyPath(const std::string& key) {
    size_t first = key.find_first_not_of('\\');
    if (first == std::string::npos)
        return std::string();
    std::string path = key.substr(first);
    if (path.back() == '\\')
        path.pop_back();
    return path;
}

TRegKey::TRegKey(TRegKey&& other) noexcept
    : FHandle(other.FHandle), FRoot(other.FRoot), FPath(std::move(other.FPath)),
      FLastError(other.FLastError) {
    other.FHandle = 0;
    other.FRoot = 0;
}

TRegKey& TRegKey::operator=(TRegKey&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        FRoot = other.FRoot;
        FPath = std::move(other.FPath);
        FLastError = other.FLastError;
        other.FHandle = 0;
        other.FRoot = 0;
    }
    return *this;
}

bool TRegKey::Fail(long code) const {
    FLastError = static_cast<uint32_t>(code);
    return false;
}

bool TRegKey::Open(TRegHandle parent, const std::string& key, TRegAccess access) {
    Close();
    REGSAM sam = (access == TRegAccess::raRead ? KEY_READ : KEY_READ | KEY_WRITE) | View();
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(K(parent), Wide(NormalizeRegKeyPath(key)).c_str(), 0, sam, &h);
    if (rc != ERROR_SUCCESS)
        return Fail(rc);
    FHandle = reinterpret_cast<TRegHandle>(h);
    Track(parent, key);
    if (FRoot)
        OpenKeys()[FHandle] = {FRoot, FPath};
    return true;
}

bool TRegKey::Create(TRegHandle parent, const std::string& key) {
    Close();
    Track(parent, key);
    if (FRoot && UndoHooks().KeyCreating)
        UndoHooks().KeyCreating(FRoot, FPath);
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExW(K(parent), Wide(NormalizeRegKeyPath(key)).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | View(), nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS)
        return Fail(rc);
    FHandle = reinterpret_cast<TRegHandle>(h);
    if (FRoot)
        OpenKeys()[FHandle] = {FRoot, FPath};
    return true;
}

void TRegKey::Close() {
    if (FHandle) {
        OpenKeys().erase(FHandle);
        RegCloseKey(K(FHandle));
        FHandle = 0;
    }
    FRoot = 0;
    FPath.clear();
}

bool TRegKey::ValueExists(const std::string& name) const {
    if (!FHandle)
        return Fail(ERROR_INVALID_HANDLE);
    LONG rc = RegQueryValueExW(K(FHandle), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr);
    return rc == ERROR_SUCCESS || Fail(rc);
}

std::optional<std::vector<uint8_t>> TRegKey::ReadRaw(const std::string& name, uint32_t& type) const {
    if (!FHandle) {
        Fail(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    std::wstring wname = Wide(name);
    // The value may grow between the size query and the read; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD t = 0, size = 0;
        LONG rc = RegQueryValueExW(K(FHandle), wname.c_str(), nullptr, &t, nullptr, &size);
        if (rc != ERROR_SUCCESS) {
            Fail(rc);
            return std::nullopt;
        }
        std::vector<uint8_t> data(size);
        rc = RegQueryValueExW(K(FHandle), wname.c_str(), nullptr, &t, data.empty() ? nullptr : data.data(),
                              &size);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS) {
            Fail(rc);
            return std::nullopt;
        }
        data.resize(size);
        type = t;
        return data;
    }
    Fail(ERROR_MORE_DATA);
    return std::nullopt;
}

std::optional<std::string> TRegKey::ReadString(const std::string& name) const {
    uint32_t type = 0;
    std::optional<std::vector<uint8_t>> data = ReadRaw(name, type);
    if (!data)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        Fail(ERROR_INVALID_DATATYPE);
        return std::nullopt;
    }
    // Stored strings need not end with a null, and may end with several.
    std::wstring text(data->size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return Narrow(text);
}

std::optional<int32_t> TRegKey::ReadInteger(const std::string& name) const {
    uint32_t type = 0;
    std::optional<std::vector<uint8_t>> data = ReadRaw(name, type);
    if (!data)
        return std::nullopt;
    if (type != REG_DWORD || data->size() != sizeof(int32_t)) {
        Fail(ERROR_INVALID_DATATYPE);
        return std::nullopt;
    }
    int32_t v;
    std::memcpy(&v, data->data(), sizeof v);
    return v;
}

std::optional<std::vector<uint8_t>> TRegKey::ReadBinary(const std::string& name) const {
    uint32_t type = 0;
    return ReadRaw(name, type);
}

std::optional<double> TRegKey::ReadFloat(const std::string& name) const {
    uint32_t type = 0;
    std::optional<std::vector<uint8_t>> data = ReadRaw(name, type);
    if (!data)
        return std::nullopt;
    if (type != REG_BINARY || data->size() != sizeof(double)) {
        Fail(ERROR_INVALID_DATATYPE);
        return std::nullopt;
    }
    double v;
    std::memcpy(&v, data->data(), sizeof v);
    return v;
}

bool TRegKey::WriteRaw(const std::string& name, uint32_t type, const void* data, size_t size) {
    if (!FHandle)
        return Fail(ERROR_INVALID_HANDLE);
    if (size > 0xFFFFFFFFu)
        return Fail(ERROR_INVALID_PARAMETER);
    if (FRoot && UndoHooks().ValueChanging)
        UndoHooks().ValueChanging(FRoot, FPath, name);
    LONG rc = RegSetValueExW(K(FHandle), Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size));
    return rc == ERROR_SUCCESS || Fail(rc);
}

bool TRegKey::WriteString(const std::string& name, const std::string& value) {
    std::wstring w = Wide(value);
    return WriteRaw(name, REG_SZ, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
}

bool TRegKey::WriteExpandString(const std::string& name, const std::string& value) {
    std::wstring w = Wide(value);
    return WriteRaw(name, REG_EXPAND_SZ, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
}

bool TRegKey::WriteInteger(const std::string& name, int32_t value) {
    return WriteRaw(name, REG_DWORD, &value, sizeof value);
}

bool TRegKey::WriteBinary(const std::string& name, const void* data, size_t size) {
    return WriteRaw(name, REG_BINARY, data, size);
}

bool TRegKey::WriteFloat(const std::string& name, double value) {
    return WriteBinary(name, &value, sizeof value);
}

bool TRegKey::DeleteValue(const std::string& name) {
    if (!FHandle)
        return Fail(ERROR_INVALID_HANDLE);
    if (FRoot && UndoHooks().ValueChanging && ValueExists(name))
        UndoHooks().ValueChanging(FRoot, FPath, name);
    LONG rc = RegDeleteValueW(K(FHandle), Wide(name).c_str());
    return rc == ERROR_SUCCESS || Fail(rc);
}

bool TRegKey::DeleteSubKey(const std::string& name) {
    if (!FHandle)
        return Fail(ERROR_INVALID_HANDLE);
    std::string sub = NormalizeRegKeyPath(name);
    if (sub.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if (FRoot && UndoHooks().TreeDeleting)
        UndoHooks().TreeDeleting(FRoot, JoinKey(FPath, sub));
    LONG rc = RegDeleteKeyW(K(FHandle), Wide(sub).c_str());
    return rc == ERROR_SUCCESS || Fail(rc);
}

std::vector<std::string> TRegKey::SubKeyNames() const {
    std::vector<std::string> names;
    if (!FHandle)
        return names;
    // Key names are at most 255 characters.
    wchar_t buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        LONG rc = RegEnumKeyExW(K(FHandle), i, buf, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            if (rc != ERROR_NO_MORE_ITEMS)
                Fail(rc);
            break;
        }
        names.push_back(Narrow(buf, len));
    }
    return names;
}

std::vector<std::string> TRegKey::ValueNames() const {
    std::vector<std::string> names;
    if (!FHandle)
        return names;
    DWORD maxLen = 0;
    if (RegQueryInfoKeyW(K(FHandle), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxLen,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        maxLen = 16383;
    std::vector<wchar_t> buf(static_cast<size_t>(maxLen) + 1);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        LONG rc = RegEnumValueW(K(FHandle), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA && buf.size() < 32768) {
            // A longer name was added meanwhile: start again with room for any name.
            buf.assign(32768, L'\0');
            names.clear();
            i = static_cast<DWORD>(-1);
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            if (rc != ERROR_NO_MORE_ITEMS)
                Fail(rc);
            break;
        }
        names.push_back(Narrow(buf.data(), len));
    }
    return names;
}

bool TRegKey::Flush() {
    if (!FHandle)
        return Fail(ERROR_INVALID_HANDLE);
    LONG rc = RegFlushKey(K(FHandle));
    return rc == ERROR_SUCCESS || Fail(rc);
}

bool RegKeyExists(TRegHandle root, const std::string& key) {
    TRegKey k;
    return k.Open(root, key, TRegAccess::raRead);
}

bool DeleteKeyTree(TRegHandle root, const std::string& key) {
    std::string path = NormalizeRegKeyPath(key);
    if (path.empty())
        return false;
    TRegHandle top = 0;
    std::string base;
    if (UndoHooks().TreeDeleting && RegKeyPlace(root, top, base) && RegKeyExists(root, path))
        UndoHooks().TreeDeleting(top, JoinKey(base, path));
    return DeleteTree(root, path, 0);
}
