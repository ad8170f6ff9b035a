// The loading program's one run: hold its own file, read the extraction
// information at its end, unpack setup.1 into a folder of its own in the
// temporary folder and hold what it unpacked, start the setup program from
// there, wait for it, remove the folder and pass on its exit code.
#pragma once
#include "archive/types_ExtractionInfo.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// Exit codes of the loading program's own failures; every other code is
// the setup program's (0 installed, 1 failed, 2 aborted, 3 restart needed).
enum TLoaderExitCode : uint32_t {
    lecDamaged = 10,     // its own file cannot be read, or carries no usable setup.1
    lecNoFolder = 11,    // no folder of its own in the temporary folder
    lecExtractFail = 12, // setup.1 could not be unpacked
    lecStartFail = 13,   // the setup program could not be started
    lecChanged = 14,     // a file it unpacked changed before it could hold it
};

// What the loading program asks of the system.
class TLoaderHost {
public:
    virtual ~TLoaderHost() = default;
    // A message box with an OK button: the loading program's only window.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // Starts program with commandLine, without handing on any handle and in
    // the loading program's current folder, and waits for its end. False,
    // with the system's reason, when it cannot start.
    virtual bool RunAndWait(const std::string& program, const std::string& commandLine, uint32_t& exitCode,
                            std::string& why) = 0;
    virtual void Pause(uint32_t milliseconds) = 0;
    // Opens the file for reading, other programs still writing it.
    virtual std::unique_ptr<TStream> OpenShared(const std::string& path);
    // Opens the file for reading and holds it: while the stream lives others
    // may read it, nobody may write, rename or delete it. Raises when another
    // program holds it for writing.
    virtual std::unique_ptr<TStream> OpenHeld(const std::string& path);
    // True when the running program carries a signature.
    virtual bool ImageSigned() { return false; }
    // Why the signature of the held file at path does not hold; empty when it does.
    virtual std::string SignatureProblem(const std::string& path);
    // Creates the loading program's own folder (a trusted one: see
    // CreateTrustedFolder); false, with the system's code, when it cannot.
    virtual bool MakeFolder(const std::string& path);
};

struct TLoaderRequest {
    std::string LoaderPath;              // the loading program's own file
    std::vector<std::string> Args;       // its command-line arguments, without the program
    std::string TempDir;                 // where it makes its folder: the temporary folder, or
                                         // the machine's folder of this program when elevated
    bool RemoveTempDirWhenEmpty = false; // that folder goes too when nothing else is in it
    // The seal in the running program's image: what the file it reads must
    // carry (see types_ExtractionInfo.h).
    TPayloadSeal Seal;
};

// How long the loading program waits for its own file while another program
// still holds or writes it.
constexpr int kOpenAttempts = 20;
constexpr uint32_t kOpenRetryMs = 250;
// How long it tries to remove its folder after the setup program has ended,
// while the system still holds the program's file.
constexpr int kRemoveAttempts = 20;
constexpr uint32_t kRemoveRetryMs = 100;

uint32_t RunLoader(const TLoaderRequest& request, TLoaderHost& host);
