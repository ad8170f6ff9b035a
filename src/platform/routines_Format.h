// Format: fills %s, %d, %u, %x, %f, %g and %% from typed arguments, with the
// flags "-" and "0", width and precision as C's printf has them. A directive
// whose argument is missing or of the wrong kind raises EConvertError instead
// of reading garbage.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

struct TVarRec {
    enum class Kind { Int, UInt, Float, Str } kind;
    int64_t i = 0;
    uint64_t u = 0;
    double f = 0;
    std::string_view s;

    TVarRec(int v) : kind(Kind::Int), i(v) {}
    TVarRec(long v) : kind(Kind::Int), i(v) {}
    TVarRec(long long v) : kind(Kind::Int), i(v) {}
    TVarRec(unsigned v) : kind(Kind::UInt), u(v) {}
    TVarRec(unsigned long v) : kind(Kind::UInt), u(v) {}
    TVarRec(unsigned long long v) : kind(Kind::UInt), u(v) {}
    TVarRec(double v) : kind(Kind::Float), f(v) {}
    TVarRec(const char* v) : kind(Kind::Str), s(v ? v : "") {}
    TVarRec(const std::string& v) : kind(Kind::Str), s(v) {}
    TVarRec(std::string_view v) : kind(Kind::Str), s(v) {}
};

// The separators %n writes: the user's, once the application has read them
// from the system; "," and "." until then (and in the native build).
struct TFormatSettings {
    std::string ThousandSeparator = ",";
    std::string DecimalSeparator = ".";
};
TFormatSettings& FormatSettings();

// %n is %f with the integer digits grouped in threes by the thousands
// separator and the decimal separator of FormatSettings.
std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args);
// The decimal digits (an optional leading "-") grouped in threes from the right.
std::string GroupThousands(std::string_view digits, std::string_view separator);
