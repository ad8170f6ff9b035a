#include "uninstall/routines_UninstallText.h"
#include "platform/routines_Strings.h"
#include <cctype>
#include <string_view>

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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
    // The setup writes the name quoted, so that blanks at its ends and a
    // leading "-q" are part of it; older setups wrote it bare.
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
        for (const std::string& name :
             {path.substr(2, server - 2), path.substr(server + 1, share - server - 1)})
            if (name == "." || name == "..")
                return "steps through \"" + name + "\"";
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
    // Unquoted: the program, a blank and the product (which may hold blanks),
    // quoted as the setup writes it or bare as older setups did.
    for (const std::string& tail : {" \"" + product + "\"", " " + product}) {
        if (!product.empty() && s.size() > tail.size() &&
            s.compare(s.size() - tail.size(), tail.size(), tail) == 0)
            return TrimRight(s.substr(0, s.size() - tail.size()));
    }
    const size_t blank = s.find(' ');
    return blank == std::string::npos ? s : s.substr(0, blank);
}

bool UninstallStringStarts(const std::string& uninstallString, const std::vector<std::string>& programForms) {
    const std::string s = Trim(uninstallString);
    for (const std::string& form : programForms) {
        if (form.empty())
            continue;
        if (!s.empty() && s[0] == '"') {
            const size_t close = s.find('"', 1);
            if (close != std::string::npos && SameText(s.substr(1, close - 1), form))
                return true;
            continue;
        }
        if (s.size() >= form.size() && SameText(s.substr(0, form.size()), form) &&
            (s.size() == form.size() || IsBlank(s[form.size()])))
            return true;
    }
    return false;
}

std::string OtherUserOfUninstaller(const std::vector<TListEntry>& entries,
                                   const std::vector<std::string>& programForms) {
    for (const TListEntry& e : entries)
        if (UninstallStringStarts(e.UninstallString, programForms))
            return e.Product;
    return std::string();
}

std::vector<std::string> SelfRemovalBatchLines(const std::string& program, const std::string& folder,
                                               const std::string& batch) {
    // Quoted, with "%" doubled: cmd would read "%...%" in a path as a variable.
    auto q = [](const std::string& s) { return "\"" + StringReplaceAll(s, "%", "%%") + "\""; };
    std::vector<std::string> lines = {"@ECHO OFF",
                                      "SET QFDTRIES=0",
                                      ":WAITUNINSTALLER",
                                      "ERASE " + q(program),
                                      "IF NOT EXIST " + q(program) + " GOTO ERASED",
                                      "SET /A QFDTRIES=QFDTRIES+1",
                                      "IF %QFDTRIES% GEQ 60 GOTO ERASED",
                                      "PING -n 2 127.0.0.1 > NUL",
                                      "GOTO WAITUNINSTALLER",
                                      ":ERASED"};
    if (!folder.empty())
        lines.push_back("RMDIR " + q(folder));
    lines.push_back("ERASE " + q(batch));
    return lines;
}
