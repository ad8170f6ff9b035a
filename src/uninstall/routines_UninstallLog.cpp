#include "uninstall/routines_UninstallLog.h"
#include "objects/constants_UninstallLog.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include <algorithm>
#include <cctype>
#include <tuple>

const char* const kUninstallListKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {
// More entries than any product has: a count beyond it is damage, and the
// walk stays bounded.
constexpr int32_t kMaxEntries = 100000;

[[noreturn]] void Damaged(const std::string& product, const std::string& why) {
    throw EUninstallRefused("The uninstall information of " + product + " is damaged: " + why +
                            ". Nothing was removed.");
}

// Reads one subkey's entries: "Entries" = n and "File1" .. "File<n>".
void ReadEntries(const std::string& product, const std::string& key, const std::string& sub,
                 UninstallLog::TKind kind, std::vector<TUninstallLogEntry>& out) {
    const bool activeX = UninstallLog::IsServerKind(kind);
    TRegKey k;
    if (!k.Open(RegLocalMachine, key + "\\" + sub, TRegAccess::raRead))
        Damaged(product, "the key " + sub + " cannot be read (" + SystemErrorText(k.LastError()) + ")");
    if (!k.ValueExists("Entries"))
        Damaged(product, "the key " + sub + " has no \"Entries\" value");
    const std::optional<std::string> entries = k.ReadString("Entries");
    int32_t n = 0;
    if (!entries || !TryStrToInt(Trim(*entries), n) || n < 0 || n > kMaxEntries)
        Damaged(product, "the \"Entries\" value of the key " + sub + " is not a count of files");
    if (out.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxEntries))
        Damaged(product, "it names more than " + IntToStr(kMaxEntries) + " files");
    for (int32_t i = 1; i <= n; ++i) {
        TUninstallLogEntry e;
        e.Where = sub + "\\File" + IntToStr(i);
        e.ActiveX = activeX;
        e.Existed = UninstallLog::IsExistedKind(kind);
        const std::optional<std::string> value = k.ReadString("File" + IntToStr(i));
        if (!value)
            Damaged(product, "the key " + sub + " counts " + IntToStr(n) + " files but has no value \"File" +
                                 IntToStr(i) + "\"");
        e.Path = *value;
        if (activeX) {
            // path;0 or path;1 (a path may hold ';' itself: the flag is after the last).
            const size_t semi = e.Path.rfind(';');
            const std::string flag = semi == std::string::npos ? std::string() : e.Path.substr(semi + 1);
            if (flag != "0" && flag != "1")
                Damaged(product, e.Where + " = \"" + e.Path + "\" does not end in ;0 or ;1");
            e.Program = flag == "1";
            e.Path.resize(semi);
        }
        const std::string why = WhyNotAFullFilePath(e.Path);
        if (!why.empty())
            Damaged(product, e.Where + " = \"" + e.Path + "\" " + why);
        if (DirectoryExists(e.Path))
            Damaged(product, e.Where + " names the folder " + e.Path + " rather than a file");
        out.push_back(std::move(e));
    }
}

} // namespace

TUninstallLog ReadUninstallLog(const std::string& product) {
    if (Trim(product).empty())
        throw EUninstallRefused("Start uninstall.exe with the name of the product to remove: "
                                "uninstall.exe [-q] <product>.");
    // The name is the last step of the key; anything else would reach another key.
    if (product.find('\\') != std::string::npos)
        throw EUninstallRefused(
            "\"" + product + "\" is not the name of a product: it holds a backslash. Nothing was removed.");
    TUninstallLog log;
    log.Product = product;
    log.Key = std::string(kUninstallListKey) + "\\" + product;
    TRegKey k;
    if (!k.Open(RegLocalMachine, log.Key, TRegAccess::raRead))
        throw EUninstallRefused("The list of installed programs has no entry \"" + product +
                                "\", so there is nothing to remove.");
    if (const std::optional<std::string> command = k.ReadString("UninstallString")) {
        const std::string program = UninstallProgramOf(*command, product);
        if (WhyNotAFullFilePath(program).empty())
            log.Destination = ExtractFileDir(program);
    }
    // Servers first, each unregistered before anything else goes; then the
    // files in the order of their keys.
    std::vector<std::tuple<int, int, std::string, UninstallLog::TKind>> keys;
    for (const std::string& sub : k.SubKeyNames()) {
        int number = 0;
        const UninstallLog::TKind kind = UninstallLog::KindOf(sub, number);
        if (kind != UninstallLog::TKind::lkNone)
            keys.emplace_back(UninstallLog::IsServerKind(kind) ? 0 : 1,
                              static_cast<int>(kind) * 1000000 + number, sub, kind);
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& [servers, order, sub, kind] : keys) {
        ReadEntries(product, log.Key, sub, kind, log.Entries);
        log.LogKeys.push_back(sub);
    }
    return log;
}

TOtherClaims ReadOtherProductsClaims(const std::string& product) {
    TOtherClaims claims;
    TRegKey list;
    if (!list.Open(RegLocalMachine, kUninstallListKey, TRegAccess::raRead))
        return claims;
    for (const std::string& other : list.SubKeyNames()) {
        if (SameText(other, product))
            continue;
        TRegKey key;
        if (!key.Open(list.Handle(), other, TRegAccess::raRead))
            continue;
        for (const std::string& sub : key.SubKeyNames()) {
            int number = 0;
            // Its files that were there before count too: it uses them.
            const UninstallLog::TKind kind = UninstallLog::KindOf(sub, number);
            const bool activeX = UninstallLog::IsServerKind(kind);
            if (kind == UninstallLog::TKind::lkNone)
                continue;
            TRegKey k;
            if (!k.Open(key.Handle(), sub, TRegAccess::raRead))
                continue;
            // Every "File<n>" counts, whatever "Entries" says.
            for (const std::string& name : k.ValueNames()) {
                if (name.size() < 5 || !SameText(name.substr(0, 4), "File"))
                    continue;
                std::optional<std::string> value = k.ReadString(name);
                if (!value)
                    continue;
                std::string path = *value;
                if (activeX && path.rfind(';') != std::string::npos)
                    path.resize(path.rfind(';'));
                claims[UpperCase(path)].push_back(other);
            }
        }
    }
    return claims;
}
