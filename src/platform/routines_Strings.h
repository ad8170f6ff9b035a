// String and field routines shared by every layer.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TStringList;

// S with "\" appended unless it is empty or already ends with one.
std::string AddBackslash(const std::string& s);
// S without one trailing "\".
std::string RemoveBackslash(const std::string& s);
// The N-th (1-based) field of Text cut at Delimiter; empty when a delimiter is
// missing on the way.
std::string GetField(const std::string& text, int n, char delimiter);
// Delimiters in Text, plus one when Text is not empty and does not end with one.
int FieldCount(const std::string& text, char delimiter);
void SplitFields(const std::string& text, char delimiter, TStringList& list);
// Result becomes everything after the first ':'; unchanged when there is none.
void AfterColon(const std::string& text, std::string& result);

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII case mapping, as the file system compares names.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
std::string IntToStr(int64_t v);
// Whole-text decimal (or $hex) integer; false on anything else or overflow.
bool TryStrToInt(std::string_view s, int32_t& v);
int32_t StrToIntDef(std::string_view s, int32_t def);
std::string StringReplaceAll(std::string s, std::string_view from, std::string_view to);

// The code page old text files are written in: the system's ANSI code page
// (GetACP) on Windows, Windows-1252 natively and where the system's is UTF-8.
uint32_t AnsiCodePage();
// Bytes in a Windows code page as UTF-8 (0: the ANSI code page). Natively, and
// for a code page Windows cannot convert, the bytes are read as Windows-1252.
std::string CodePageToUtf8(std::string_view bytes, uint32_t codePage);

// UTF-8 <-> UTF-16. Invalid UTF-8 is read in the ANSI code page so nothing is
// lost; invalid UTF-16 becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
bool IsValidUtf8(std::string_view s);
// Text read from a file: strips a UTF-8 BOM; bytes that are not UTF-8 are read
// in codePage (0: the ANSI code page).
std::string TextFileToUtf8(std::string_view bytes, uint32_t codePage = 0);
// Cuts UTF-8 text to at most maxBytes without splitting a character.
std::string Utf8Truncate(std::string_view s, size_t maxBytes);
// A byte that continues a UTF-8 character rather than starting one.
inline bool IsUtf8Continuation(char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
}
// Characters (not bytes) of UTF-8 text, and its first n characters.
size_t Utf8Length(std::string_view s);
std::string Utf8Left(std::string_view s, size_t n);

// An ordered list of lines.
class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : FItems(lines) {}
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& operator[](int i) const { return FItems.at(static_cast<size_t>(i)); }
    std::string& operator[](int i) { return FItems.at(static_cast<size_t>(i)); }
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    int IndexOf(std::string_view s) const; // case-insensitive
    // Lines joined with CR LF after each; setting splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view text);
    // name=value lines.
    std::string Values(std::string_view name) const;
    void LoadFromFile(const std::string& fileName); // raises EFOpenError
    void SaveToFile(const std::string& fileName) const;
    const std::vector<std::string>& Items() const { return FItems; }
    bool operator==(const TStringList& o) const { return FItems == o.FItems; }

private:
    std::vector<std::string> FItems;
};
