// Writes the parameters the program sees (CommandLineParams, read through
// GetCommandLineW) to params.txt in the current folder, one a line, so that a
// test can start it with a command line of its choice.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"

int main() {
    std::string text;
    for (const std::string& p : CommandLineParams())
        text += p + "\n";
    try {
        TFileStream f("params.txt", fmCreate);
        f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    } catch (const Exception&) {
        return 1;
    }
    return 0;
}
