// Program entry of the loading program: the Windows side of its one run.
#include "loader/loader_Run.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include "platform/routines_Program.h"
#include "platform/routines_Signature.h"
#include "platform/routines_TrustedFolder.h"

// The seal the build fills in (see types_ExtractionInfo.h): a section of its
// own, so that the build finds it by name in the file and this program reads
// it from its image, which nobody can change while it runs.
extern "C" __attribute__((section(".qfdseal"), used))
const unsigned char QfdPayloadSeal[kPayloadSealSize] = {'Q', 'F', 'D', 'S', 'E', 'A', 'L', '1'};

namespace {

// Read through a volatile pointer: the compiler must not take the zeros it
// was given for what the build wrote.
TPayloadSeal ImageSeal() {
    uint8_t bytes[kPayloadSealSize];
    const volatile unsigned char* p = QfdPayloadSeal;
    for (int i = 0; i < kPayloadSealSize; ++i)
        bytes[i] = p[i];
    return DecodePayloadSeal(bytes, sizeof bytes);
}

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
    bool ImageSigned() override { return OwnImageSigned(); }
    std::string SignatureProblem(const std::string& path) override { return ::SignatureProblem(path); }
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
    // Elevated, it unpacks where only administrators can write: the user's
    // temporary folder is the user's to change under it.
    if (RunningElevated()) {
        request.TempDir = MachineFolder();
        request.RemoveTempDirWhenEmpty = true;
        try {
            EnsureAdminFolder(MachineFolderTop(), MachineFolder(), nullptr);
        } catch (const std::exception&) {
            // Its folder cannot be made there: the run says so.
        }
    }
    request.Seal = ImageSeal();
    TWindowsLoaderHost host;
    return static_cast<int>(RunLoader(request, host));
}
