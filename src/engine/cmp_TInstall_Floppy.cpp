// Floppy mode (-f): the self-extracting distribution copied onto disks. The
// loading program and setup.1 go to the first disk, the product archive is
// spread over as many disks as it needs.
#include "engine/cmp_TInstall.h"
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include <vector>

namespace {
constexpr int64_t kBlock = 8192;

const char* const kNoRoomSetupExe = "Cannot create setup.exe on the A drive. Probably not enough room";
const char* const kNoRoomSetup1 = "Cannot create setup.1 on the A drive. Probably not enough room";

// Copies the bytes first..last of Source into a new file Dest in blocks;
// a block written short raises the message noRoom.
void CopyRange(TStream& Source, int64_t first, int64_t last, const std::string& Dest, const char* noRoom) {
    TFileStream out(Dest, fmCreate);
    Source.SetPosition(first);
    std::vector<char> block(kBlock);
    for (int64_t left = last - first + 1; left > 0;) {
        const int64_t want = left < kBlock ? left : kBlock;
        const int64_t got = Source.Read(block.data(), want);
        if (got != want)
            throw IEInstall("Cannot read %s: it ends before its extraction information says", {Dest});
        if (out.Write(block.data(), got) != got)
            throw IEInstall(noRoom);
        left -= got;
        Application()->ProcessMessages();
    }
}
// The loading program on the disk is the front of the distribution only: a
// signature of the whole file (its PE header names a certificate table far
// beyond the copy's end) would mark the copy as signed but broken. It goes
// as an unsigned program.
void UnsignLoadingProgram(const std::string& Path) {
    TFileStream f(Path, fmOpenReadWrite);
    if (ClearPeSignatureFields(f))
        LogLine("Floppies", "the signature entry of the whole distribution removed from " + Path);
}
} // namespace

bool TCustomInstall::AskForDisk(Integer Disk) {
    constexpr uint32_t kOkCancelQuestion = 0x00000001 | 0x00000020;
    constexpr int32_t kCancel = 2;
    TApplication* app = Application();
    return app->MessageBox(Format("Please insert disk %d", {Disk}), app->Title(), kOkCancelQuestion) !=
           kCancel;
}

void TCustomInstall::TransferToFloppies(const std::string& Drive) {
    TApplication* app = Application();
    const TCursor oldCursor = app->Cursor();
    app->SetCursor(crHourGlass);
    app->ProcessMessages();
    TQnfdCompress& archive = SharedArchive();
    try {
        if (!HasSwitch(swSelfExtracted))
            throw IEInstall("Sorry... You can only transfer this installation to floppies through the "
                            "self-extracting file. Usage example: setup.exe *TODISK");
        const std::string source = ExpandedArchiveFile();
        TExtractionInfoBytes bytes;
        int64_t size = 0;
        ReadExtractionInfo(source, bytes, size);
        // Every position is checked before a byte is copied by it.
        TExtractionInfo info;
        const TExtractionInfoState state = CheckExtractionInfo(bytes, size, info);
        if (state != TExtractionInfoState::eiValid)
            throw IEInstall("The self-extracting file %s is damaged: %s",
                            {source, DescribeExtractionInfoState(state, bytes, size)});
        const std::string root = AddBackslash(Drive);
        PushStatusMessage("Transferring this installation to floppies. Please wait...");
        struct TPop {
            TCustomInstall& I;
            ~TPop() {
                try {
                    I.PopStatusMessage();
                } catch (...) {
                }
            }
        } pop{*this};
        {
            TFileStream in(source, fmOpenRead | fmShareDenyNone);
            CopyRange(in, 0, info.Setup1Start - 1, root + "setup.exe", kNoRoomSetupExe);
            UnsignLoadingProgram(root + "setup.exe");
            CopyRange(in, info.Setup1Start, info.Setup1End, root + "setup.1", kNoRoomSetup1);
        }
        LogLine("Floppies", "setup.exe and setup.1 on " + root);
        if (info.HasFiles1()) {
            struct TClear {
                TQnfdCompress& A;
                ~TClear() {
                    A.OnNewDisk = nullptr;
                    A.OnStatus = nullptr;
                }
            } clear{archive};
            archive.OnNewDisk = [this, app](TQnfdCompress&, int disk, std::string&) {
                const TCursor busy = app->Cursor();
                app->SetCursor(crDefault);
                const bool ok = AskForDisk(disk);
                app->SetCursor(busy);
                if (!ok)
                    throw IEInstall("Aborted by user");
            };
            archive.OnStatus = [app](TQnfdCompress&, const TlzhFileStats&) { app->ProcessMessages(); };
            archive.SetCompressedFile(source);
            archive.Offset = info.Files1Start;
            archive.SpanToDisks(root, "files.1");
            archive.Offset = 0;
            LogLine("Floppies", "files.1 spread over the disks");
        }
    } catch (const Exception& e) {
        archive.Offset = 0;
        LogLine("Error", std::string(e.ClassName()) + ": " + e.Message());
        Application()->SetExitCode(secFailed);
        ShowRunError(e);
    }
    app->SetCursor(oldCursor);
    app->ProcessMessages();
    EndApplication();
}
