// The qarc program: its arguments as UTF-8 to QarcRun.
#include "platform/routines_Strings.h"
#include "qarc.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    return QarcRun(args);
}
#else
int main(int argc, char** argv) {
    return QarcRun(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
