// A small layer over the registry's W functions. Keys are opened relative to
// a root handle; a key path may begin with "\" (it is always taken from the
// root) and may end with one. Nothing here raises: failures return false or
// an empty optional, and LastError() keeps the system's code.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An HKEY, kept opaque so that headers need no <windows.h>.
using TRegHandle = uintptr_t;

// The predefined root handles (sign-extended 32-bit values, as the system
// defines them).
constexpr TRegHandle PredefinedRegHandle(uint32_t v) {
    return static_cast<TRegHandle>(static_cast<intptr_t>(static_cast<int32_t>(v)));
}
inline constexpr TRegHandle RegClassesRoot = PredefinedRegHandle(0x80000000u);
inline constexpr TRegHandle RegCurrentUser = PredefinedRegHandle(0x80000001u);
inline constexpr TRegHandle RegLocalMachine = PredefinedRegHandle(0x80000002u);
inline constexpr TRegHandle RegUsers = PredefinedRegHandle(0x80000003u);
inline constexpr TRegHandle RegCurrentConfig = PredefinedRegHandle(0x80000005u);
inline constexpr TRegHandle RegDynData = PredefinedRegHandle(0x80000006u);

enum class TRegAccess { raRead, raReadWrite };

// The key path as the system wants it: no leading backslashes, no trailing one.
std::string NormalizeRegKeyPath(const std::string& key);

// One open key; closed when the object goes away.
class TRegKey {
public:
    TRegKey() = default;
    ~TRegKey() { Close(); }
    TRegKey(TRegKey&& other) noexcept;
    TRegKey& operator=(TRegKey&& other) noexcept;
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    // Opens an existing key below parent (a root or another open key).
    bool Open(TRegHandle parent, const std::string& key, TRegAccess access = TRegAccess::raReadWrite);
    // Opens key for reading and writing, creating it and its missing parents.
    bool Create(TRegHandle parent, const std::string& key);
    void Close();
    bool IsOpen() const { return FHandle != 0; }
    TRegHandle Handle() const { return FHandle; }
    // The system's code of the last failed call on this object.
    uint32_t LastError() const { return FLastError; }

    bool ValueExists(const std::string& name) const;
    // REG_SZ or REG_EXPAND_SZ (not expanded).
    std::optional<std::string> ReadString(const std::string& name) const;
    // REG_DWORD.
    std::optional<int32_t> ReadInteger(const std::string& name) const;
    // Any type, raw bytes.
    std::optional<std::vector<uint8_t>> ReadBinary(const std::string& name) const;
    // REG_BINARY of exactly 8 bytes: a double (date-times are stored this way).
    std::optional<double> ReadFloat(const std::string& name) const;

    bool WriteString(const std::string& name, const std::string& value);
    bool WriteExpandString(const std::string& name, const std::string& value);
    bool WriteInteger(const std::string& name, int32_t value);
    bool WriteBinary(const std::string& name, const void* data, size_t size);
    bool WriteFloat(const std::string& name, double value);

    // Any value with its type, as stored; written back the same way.
    std::optional<std::vector<uint8_t>> ReadRaw(const std::string& name, uint32_t& type) const;
    bool WriteRaw(const std::string& name, uint32_t type, const void* data, size_t size);

    bool DeleteValue(const std::string& name);
    // Deletes a direct subkey that has no subkeys of its own.
    bool DeleteSubKey(const std::string& name);
    std::vector<std::string> SubKeyNames() const;
    std::vector<std::string> ValueNames() const;
    bool Flush();

private:
    bool Fail(long code) const;

    // Where the key lies (a predefined root and the path below it), for
    // recording how to undo a change; FRoot is 0 when unknown.
    void Track(TRegHandle parent, const std::string& key);

    TRegHandle FHandle = 0;
    TRegHandle FRoot = 0;
    std::string FPath;
    mutable uint32_t FLastError = 0;
};

// The root and path of an open key or a predefined root; false when the
// handle is neither.
bool RegKeyPlace(TRegHandle handle, TRegHandle& root, std::string& path);

bool RegKeyExists(TRegHandle root, const std::string& key);
// Deletes key with everything below it, children first. False when something
// remained; a key that does not exist counts as deleted. An empty key path is
// refused (it would name the root itself).
bool DeleteKeyTree(TRegHandle root, const std::string& key);
