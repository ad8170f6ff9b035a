#include "uninstall/routines_UninstallLog.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include <algorithm>
#include <cctype>

const char* const kUninstallListKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {
// More entries than any product has: a count beyond it is damage, and the
// walk stays bounded.
constexpr int32_t kMaxEntries = 100000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void Damaged(const std::string& product, const std::string& why) {
    throw EUninstallRefused("The uninstall information of " + product + " is damaged: " + why +
                            ". Nothing was removed.");
}

// "Files", "Files1", "Files2", ... (no leading zeros): the subkeys of the file log.
bool IsFilesKey(const std::string& name, int& number) {
    if (name.size() < 5 || !SameText(name.substr(0, 5), "Files"))
        return false;
    const std::string digits = name.substr(5);
    if (digits.empty()) {
        number = 0;
        return true;
    }
    if (digits[0] == '0' || digits.size() > 6)
        return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    number = std::stoi(digits);
    return true;
}

// Reads one subkey's entries: "Entries" = n and "File1" .. "File<n>".
void ReadEntries(const std::string& product, const std::string& key, const std::string& sub, bool activeX,
                 std::vector<TUninstallLogEntry>& out) {
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

bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && std::string_view("<>:\"|?*/").find(c) == std::string_view::npos;
}
} // namespace

TUninstallCommand ParseUninstallCommandLine(const std::string& line) {
    size_t i = 0;
    // The program path, quoted or up to the first blank.
    if (i < line.size() && line[i] == '"') {
        const size_t close = line.find('"', 1);
        i = close == std::string::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i]))
        ++i;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    TUninstallCommand c;
    if (i + 1 < line.size() && (line[i] == '-' || line[i] == '/') &&
        (line[i + 1] == 'q' || line[i + 1] == 'Q') && (i + 2 == line.size() || IsBlank(line[i + 2]))) {
        c.Quiet = true;
        i += 2;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
    }
    std::string product = TrimRight(line.substr(i));
    // The list writes the name unquoted; a person may quote it.
    if (product.size() >= 2 && product.front() == '"' && product.back() == '"')
        product = product.substr(1, product.size() - 2);
    c.Product = product;
    return c;
}

std::string WhyNotAFullFilePath(const std::string& path) {
    if (Trim(path).empty())
        return "is empty";
    if (path.size() > 32000)
        return "is longer than a path can be";
    size_t start;
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        path[2] == '\\') {
        start = 3;
    } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.') {
        // \\server\share\ counts as the root of a share.
        const size_t server = path.find('\\', 2);
        const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        if (server == 2 || share == std::string::npos || share == server + 1)
            return "is not a full path";
        start = share + 1;
    } else {
        return "is not a full path";
    }
    if (start >= path.size())
        return "names no file";
    size_t pos = start;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(pos, end - pos);
        if (part.empty())
            return "has an empty step";
        if (part == "." || part == "..")
            return "steps through \"" + part + "\"";
        // Windows drops a trailing dot or blank, so the name would be another one.
        if (part.back() == '.' || part.back() == ' ')
            return "has a name ending in a dot or blank";
        for (char ch : part)
            if (!IsNameChar(ch))
                return "holds a character no file name can hold";
        pos = end + 1;
    }
    return std::string();
}

std::string UninstallProgramOf(const std::string& uninstallString, const std::string& product) {
    const std::string s = Trim(uninstallString);
    if (s.empty())
        return std::string();
    if (s[0] == '"') {
        const size_t close = s.find('"', 1);
        return close == std::string::npos ? std::string() : s.substr(1, close - 1);
    }
    // Unquoted: the program, a blank and the product (which may hold blanks).
    const std::string tail = " " + product;
    if (!product.empty() && s.size() > tail.size() &&
        s.compare(s.size() - tail.size(), tail.size(), tail) == 0)
        return s.substr(0, s.size() - tail.size());
    const size_t blank = s.find(' ');
    return blank == std::string::npos ? s : s.substr(0, blank);
}

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
    std::vector<std::pair<int, std::string>> filesKeys;
    bool activeX = false;
    for (const std::string& sub : k.SubKeyNames()) {
        int number = 0;
        if (IsFilesKey(sub, number))
            filesKeys.emplace_back(number, sub);
        else if (SameText(sub, "ActiveX"))
            activeX = true;
    }
    std::sort(filesKeys.begin(), filesKeys.end());
    // Servers first: each is unregistered before anything else goes.
    if (activeX)
        ReadEntries(product, log.Key, "ActiveX", true, log.Entries);
    for (const auto& [number, sub] : filesKeys)
        ReadEntries(product, log.Key, sub, false, log.Entries);
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
            const bool activeX = SameText(sub, "ActiveX");
            if (!activeX && !IsFilesKey(sub, number))
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
