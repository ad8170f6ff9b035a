#include "routines_Format.h"
#include "exceptions_Quenfold.h"
#include <cmath>
#include <cstdio>

namespace {

[[noreturn]] void BadFormat(std::string_view fmt) {
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

// Reads a width or precision: digits or '*' taking the next integer argument.
int ReadNumber(std::string_view fmt, size_t& i, const TVarRec*& arg, const TVarRec* end) {
    if (i < fmt.size() && fmt[i] == '*') {
        ++i;
        if (arg == end || arg->kind != TVarRec::Kind::Int || arg->i < -4096 || arg->i > 4096)
            BadFormat(fmt);
        return static_cast<int>((arg++)->i);
    }
    int n = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        n = n * 10 + (fmt[i++] - '0');
        if (n > 4096)
            BadFormat(fmt);
    }
    return n;
}

// snprintf into a string of the length it needs (a precision of up to 4096
// digits does not fit a fixed buffer).
template <class... A> std::string Print(const char* spec, A... a) {
    int n = std::snprintf(nullptr, 0, spec, a...);
    if (n <= 0)
        return std::string();
    std::string r(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(r.data(), r.size(), spec, a...);
    r.resize(static_cast<size_t>(n));
    return r;
}

// %f's text with the separators of the settings.
std::string LocalNumber(const std::string& fixed) {
    const size_t point = fixed.find('.');
    std::string r =
        GroupThousands(std::string_view(fixed).substr(0, point), FormatSettings().ThousandSeparator);
    if (point != std::string::npos)
        r += FormatSettings().DecimalSeparator + fixed.substr(point + 1);
    return r;
}

} // namespace

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

std::string GroupThousands(std::string_view digits, std::string_view separator) {
    const bool neg = !digits.empty() && digits[0] == '-';
    if (neg)
        digits.remove_prefix(1);
    std::string r = neg ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            r += separator;
        r += digits[i];
    }
    return r;
}

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args) {
    std::string out;
    out.reserve(fmt.size() + 32);
    const TVarRec* arg = args.begin();
    const TVarRec* end = args.end();
    for (size_t i = 0; i < fmt.size();) {
        char c = fmt[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < fmt.size() && fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Flags in any order: '-' pads on the right, '0' with zeros after the
        // sign (numbers only; '-' wins, as in C).
        bool left = false;
        bool zeros = false;
        for (; i < fmt.size() && (fmt[i] == '-' || fmt[i] == '0'); ++i)
            (fmt[i] == '-' ? left : zeros) = true;
        int width = ReadNumber(fmt, i, arg, end);
        if (width < 0) { // "%*d" with a negative width: left-justified, as in C
            left = true;
            width = -width;
        }
        int prec = -1;
        if (i < fmt.size() && fmt[i] == '.') {
            ++i;
            prec = ReadNumber(fmt, i, arg, end);
        }
        if (i >= fmt.size() || arg == end)
            BadFormat(fmt);
        char conv = static_cast<char>(fmt[i++] | 0x20);
        const TVarRec& a = *arg++;
        std::string piece;
        // Zero padding suits a number's digits; C leaves it out for an integer
        // with a precision and for an infinity or NaN.
        bool zeroable = false;
        char buf[512];
        switch (conv) {
        case 's':
            if (a.kind != TVarRec::Kind::Str)
                BadFormat(fmt);
            piece.assign(a.s.data(), prec >= 0 && static_cast<size_t>(prec) < a.s.size() ? prec : a.s.size());
            break;
        case 'd':
        case 'u':
            if (a.kind == TVarRec::Kind::Int)
                std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(a.i));
            else if (a.kind == TVarRec::Kind::UInt)
                std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(a.u));
            else
                BadFormat(fmt);
            piece = buf;
            if (prec > 0) {
                bool neg = piece[0] == '-';
                std::string digits = neg ? piece.substr(1) : piece;
                if (static_cast<int>(digits.size()) < prec)
                    digits.insert(0, prec - digits.size(), '0');
                piece = (neg ? "-" : "") + digits;
            }
            zeroable = prec < 0;
            break;
        case 'x': {
            uint64_t v;
            if (a.kind == TVarRec::Kind::Int)
                v = static_cast<uint64_t>(a.i) &
                    (a.i >= INT32_MIN && a.i <= UINT32_MAX ? 0xFFFFFFFFull : ~0ull);
            else if (a.kind == TVarRec::Kind::UInt)
                v = a.u;
            else
                BadFormat(fmt);
            piece = Print("%0*llX", prec > 0 ? prec : 1, static_cast<unsigned long long>(v));
            zeroable = prec < 0;
            break;
        }
        case 'f':
        case 'g':
        case 'e':
        case 'n': {
            double v;
            if (a.kind == TVarRec::Kind::Float)
                v = a.f;
            else if (a.kind == TVarRec::Kind::Int)
                v = static_cast<double>(a.i);
            else if (a.kind == TVarRec::Kind::UInt)
                v = static_cast<double>(a.u);
            else
                BadFormat(fmt);
            const char* spec = conv == 'g' ? "%.*g" : conv == 'e' ? "%.*e" : "%.*f";
            piece = Print(spec, prec >= 0 ? prec : (conv == 'g' ? 15 : 2), v);
            if (conv == 'n' && std::isfinite(v))
                piece = LocalNumber(piece);
            zeroable = std::isfinite(v);
            break;
        }
        default:
            BadFormat(fmt);
        }
        if (static_cast<int>(piece.size()) < width) {
            const size_t fill = width - piece.size();
            if (left)
                piece.append(fill, ' ');
            else if (zeros && zeroable)
                piece.insert(!piece.empty() && piece[0] == '-' ? 1 : 0, fill, '0');
            else
                piece.insert(0, fill, ' ');
        }
        out += piece;
    }
    return out;
}
