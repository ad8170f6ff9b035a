#include "exceptions_Quenfold.h"
#include "routines_Files.h"

namespace {
TTranslateTextHook& TranslateHook() {
    static TTranslateTextHook hook;
    return hook;
}
TNetErrorContextHook& NetContextHook() {
    static TNetErrorContextHook hook;
    return hook;
}
TNetErrorTextHook& NetTextHook() {
    static TNetErrorTextHook hook;
    return hook;
}
} // namespace

void SetTranslateTextHook(TTranslateTextHook hook) {
    TranslateHook() = std::move(hook);
}

std::string TranslateText(const std::string& text) {
    if (!TranslateHook())
        return text;
    return TranslateHook()(text);
}

std::string FormatTranslated(const std::string& fmt, std::initializer_list<TVarRec> args) {
    std::string translated = TranslateText(fmt);
    if (translated != fmt) {
        try {
            return Format(translated, args);
        } catch (const EConvertError&) {
        }
    }
    return Format(fmt, args);
}

void SetNetErrorContextHook(TNetErrorContextHook hook) {
    NetContextHook() = std::move(hook);
}
void SetNetErrorTextHook(TNetErrorTextHook hook) {
    NetTextHook() = std::move(hook);
}

std::string BuildNetErrorMessage(const std::string& msg) {
    // Read the code first: building the rest may call into the system.
    uint32_t code = LastSystemError();
    std::string errorText = NetTextHook() ? NetTextHook()(code) : SystemErrorText(code);
    TNetErrorContext context;
    if (NetContextHook())
        context = NetContextHook()();
    return Format("%s. Error message %s. Server %s. Response from server %s",
                  {msg, errorText, context.Host, context.LastResponse});
}
