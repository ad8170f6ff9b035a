// Program entry of the loading program: the Windows side of its one run.
#include "loader/loader_Run.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include "platform/routines_Program.h"

namespace {

class TWindowsLoaderHost : public TLoaderHost {
public:
    void ShowError(const std::string& caption, const std::string& text) override {
        ShowPlainMessage(caption, text);
    }
    bool RunAndWait(const std::string& program, const std::string& commandLine, uint32_t& exitCode,
                    std::string& why) override {
        return RunProgramAndWait(program, commandLine, exitCode, why);
    }
    void Pause(uint32_t milliseconds) override { PauseMs(milliseconds); }
};

} // namespace

int main() {
    LoadLibrariesFromSystemFolderOnly();
    std::vector<std::string> params = CommandLineParams();
    TLoaderRequest request;
    request.LoaderPath = ProgramPath();
    if (params.size() > 1)
        request.Args.assign(params.begin() + 1, params.end());
    request.TempDir = TempDirectory();
    TWindowsLoaderHost host;
    return static_cast<int>(RunLoader(request, host));
}
