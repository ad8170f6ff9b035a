#include "loader_Run.h"
#include "archive/types_ExtractionInfo.h"
#include "loader_CommandLine.h"
#include "loader_SetupArchive.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Format.h"
#include "platform/routines_TrustedFolder.h"
#include "platform/types_TemporaryCopy.h"
#include <algorithm>
#include <map>

std::unique_ptr<TStream> TLoaderHost::OpenShared(const std::string& path) {
    return std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyNone);
}

std::unique_ptr<TStream> TLoaderHost::OpenHeld(const std::string& path) {
    // Read access, read sharing only: no writer, and without delete sharing
    // no rename or removal either.
    return std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
}

std::string TLoaderHost::SignatureProblem(const std::string&) {
    return std::string();
}

bool TLoaderHost::MakeFolder(const std::string& path) {
    return CreateTrustedFolder(path);
}

namespace {

// The one failure of a run: its exit code and its message.
struct TLoaderError {
    uint32_t Code;
    std::string Text;
};

const char* const kDefaultCaption = "Setup";

class TLoaderRun {
public:
    TLoaderRun(const TLoaderRequest& request, TLoaderHost& host) : R(request), H(host) {}

    uint32_t Run() {
        bool quiet = std::any_of(R.Args.begin(), R.Args.end(), IsQuietArg);
        try {
            return Steps();
        } catch (const TLoaderError& e) {
            return Fail(e, quiet);
        } catch (const std::exception& e) {
            return Fail({lecDamaged, e.what()}, quiet);
        }
    }

private:
    uint32_t Steps() {
        // From its first read until the setup program has ended, the own
        // file stays as it was checked: the setup program reads it again.
        FHeld.push_back(HoldWithRetry(R.LoaderPath));
        TSetupArchivePlace place = FindSetupArchive();
        if (place.File != R.LoaderPath)
            FHeld.push_back(HoldWithRetry(place.File));
        MakeOwnFolder();
        std::vector<std::string> names;
        std::vector<TExtractedFile> written;
        try {
            // Each file held as soon as it is closed; a later member of the
            // same name lets go of the earlier one's file first.
            names = ExtractSetupArchive(
                place, FFolder, &written,
                [this](const TExtractedFile& f) {
                    try {
                        FEarlyHolds[UpperCase(f.Name)] = H.OpenHeld(AddBackslash(FFolder) + f.Name);
                    } catch (const std::exception&) {
                        // Held again below, or reported there.
                    }
                },
                [this](const std::string& name) { FEarlyHolds.erase(UpperCase(name)); });
        } catch (const std::exception& e) {
            throw TLoaderError{lecExtractFail,
                               Format("Cannot unpack the setup program from %s into %s.\n\n%s",
                                      {place.File, FFolder, e.what()})};
        }
        std::string program = SetupProgram(names, place.File);
        HoldUnpackedFiles(written);
        std::string line = SetupCommandLine(program, R.LoaderPath, FSelfExtracting, R.Args);
        uint32_t code = 0;
        std::string why;
        if (!H.RunAndWait(program, line, code, why))
            throw TLoaderError{lecStartFail,
                               Format("Cannot start the setup program %s.\n\n%s", {program, why})};
        // The copy stays when the setup program asks so (the run after a
        // restart starts it again); otherwise it goes now, with no batch.
        bool keep = FileExists(AddBackslash(FFolder) + kKeepCopyMarker);
        if (keep)
            LetGo();
        else
            RemoveOwnFolder();
        FFolder.clear();
        return code;
    }

    uint32_t Fail(const TLoaderError& e, bool quiet) {
        // Nothing of a failed run stays behind in the temporary folder.
        if (!FFolder.empty())
            RemoveOwnFolder();
        LetGo();
        if (!quiet)
            H.ShowError(FCaption, e.Text);
        return e.Code;
    }

    // The file, held: as OpenWithRetry, but nobody may write it afterwards.
    std::unique_ptr<TStream> HoldWithRetry(const std::string& path) {
        std::string why;
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            if (attempt)
                H.Pause(kOpenRetryMs);
            try {
                return H.OpenHeld(path);
            } catch (const Exception& e) {
                why = e.what();
            }
        }
        throw TLoaderError{lecDamaged, Format("Cannot read the setup file %s.\n\n%s", {path, why})};
    }

    // Holds every unpacked file and the folder, then checks that each holds
    // the bytes the extraction wrote and that nothing else came in: between
    // the writing and the holding another program could have been quicker.
    void HoldUnpackedFiles(const std::vector<TExtractedFile>& written) {
        FFolderHold = std::make_unique<TFolderHold>(FFolder);
        for (const TExtractedFile& f : written) {
            std::string path = AddBackslash(FFolder) + f.Name;
            std::unique_ptr<TStream> held = std::move(FEarlyHolds[UpperCase(f.Name)]);
            try {
                if (!held)
                    held = H.OpenHeld(path);
                held->SetPosition(0);
            } catch (const Exception& e) {
                throw Changed(path, e.what());
            }
            TExtractedFile now = DigestOf(*held);
            if (now.Size != f.Size || now.Digest != f.Digest)
                throw Changed(path,
                              Format("It holds %d bytes now; %d were unpacked.",
                                     {static_cast<long long>(now.Size), static_cast<long long>(f.Size)}));
            FHeld.push_back(std::move(held));
        }
        for (const std::string& name : ListDirectory(FFolder)) {
            bool unpacked = std::any_of(written.begin(), written.end(),
                                        [&](const TExtractedFile& f) { return SameText(f.Name, name); });
            if (!unpacked)
                throw Changed(AddBackslash(FFolder) + name, "This program did not unpack it.");
        }
    }

    TLoaderError Changed(const std::string& path, const std::string& detail) {
        return {lecChanged, Format("Another program changed %s while the setup was being prepared; the setup "
                                   "does not start it.\n\n%s\n\nPlease run the setup again.",
                                   {path, detail})};
    }

    // Waits while another program holds the file (a download or a copy
    // still running), then gives up with the system's reason.
    std::unique_ptr<TStream> OpenWithRetry(const std::string& path) {
        std::string why;
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            if (attempt)
                H.Pause(kOpenRetryMs);
            try {
                return H.OpenShared(path);
            } catch (const Exception& e) {
                why = e.what();
            }
        }
        throw TLoaderError{lecDamaged, Format("Cannot read the setup file %s.\n\n%s", {path, why})};
    }

    // The record at the end of the own file (before its signature, when it
    // is signed); infoEnd gets where it ends. A file still growing may not
    // have it yet: look again as long as its size keeps changing.
    TExtractionInfoState ReadOwnInfo(TExtractionInfoBytes& bytes, int64_t& infoEnd, TExtractionInfo& info) {
        int64_t lastSize = -1;
        for (int attempt = 1;; ++attempt) {
            int64_t size = 0;
            {
                std::unique_ptr<TStream> own = OpenWithRetry(R.LoaderPath);
                size = own->Size();
                ReadExtractionInfoBytes(*own, bytes, infoEnd);
            }
            TExtractionInfoState state = CheckExtractionInfo(bytes, infoEnd, info);
            if (state == TExtractionInfoState::eiValid || size == lastSize || attempt >= kOpenAttempts)
                return state;
            lastSize = size;
            H.Pause(kOpenRetryMs);
        }
    }

    // The checksum the build wrote into the record against every byte of the
    // own file up to the record's end, before anything is unpacked. A record
    // without one (a file built before checksums) passes as it is.
    TExtractionInfoState VerifyOwnFile(const TExtractionInfoBytes& bytes, int64_t infoEnd) {
        std::unique_ptr<TStream> own = OpenWithRetry(R.LoaderPath);
        return VerifyExtractionChecksum(*own, infoEnd, bytes);
    }

    // The record of a sealed program: where the seal in the running image
    // says it ends, and the digest of everything from setup.1 on, read from
    // the held file, equal to the seal's. A file renamed and replaced after
    // this program started, or changed after its build, fails here.
    TExtractionInfoState ReadSealedInfo(TExtractionInfoBytes& bytes, int64_t& infoEnd,
                                        TExtractionInfo& info) {
        infoEnd = R.Seal.InfoEnd;
        bytes.fill(0);
        // A file still growing (a download) may not hold it all yet: look
        // again as long as its size keeps changing.
        std::unique_ptr<TStream> own;
        for (int64_t lastSize = -1, attempt = 1;; ++attempt) {
            own = OpenWithRetry(R.LoaderPath);
            const int64_t size = own->Size();
            if (size >= infoEnd)
                break;
            if (size == lastSize || attempt >= kOpenAttempts)
                return TExtractionInfoState::eiTooShort;
            own.reset();
            lastSize = size;
            H.Pause(kOpenRetryMs);
        }
        own->SetPosition(infoEnd - kExtractionInfoSize);
        if (own->Read(bytes.data(), kExtractionInfoSize) != kExtractionInfoSize)
            return TExtractionInfoState::eiTooShort;
        TExtractionInfoState state = CheckExtractionInfo(bytes, infoEnd, info);
        if (state != TExtractionInfoState::eiValid)
            return state;
        TSha256Digest digest{};
        FDigestDiffers = !ComputePayloadDigest(*own, infoEnd, digest) || digest != R.Seal.Digest;
        return state;
    }

    // setup.1 inside the own file, after the checks of the record and of the
    // file's checksum (or, sealed, its digest); a loading program without a
    // record (on a disk, in a build folder) runs the setup.1 beside it.
    TSetupArchivePlace FindSetupArchive() {
        TExtractionInfoBytes bytes;
        int64_t infoEnd = 0;
        TExtractionInfo info;
        TExtractionInfoState state =
            R.Seal.Sealed ? ReadSealedInfo(bytes, infoEnd, info) : ReadOwnInfo(bytes, infoEnd, info);
        // The checksum first: it also covers the loading program's own bytes,
        // so a damaged download is told as such.
        if (state == TExtractionInfoState::eiValid)
            state = VerifyOwnFile(bytes, infoEnd);
        if (R.Seal.Sealed && state != TExtractionInfoState::eiChecksumDiffers &&
            (state != TExtractionInfoState::eiValid || FDigestDiffers))
            FNotSealed = true;
        if (FNotSealed || (state == TExtractionInfoState::eiValid && !R.Seal.Sealed)) {
            // Only the build appends to a loading program, and it seals what it appends.
            throw TLoaderError{
                lecDamaged,
                Format("The setup file %s is damaged and cannot be run.\n\n%s\n\n"
                       "Please get a new copy of it.",
                       {R.LoaderPath, FNotSealed ? "It is not the file this program was built with: "
                                                   "it was replaced or changed after it was built."
                                                 : "What is appended to its loading program was not "
                                                   "appended by a build."})};
        }
        TSetupArchivePlace place;
        // A record whose positions or checksum fail still names its product, for the message.
        if (state == TExtractionInfoState::eiSetup1Outside ||
            state == TExtractionInfoState::eiFiles1Outside ||
            state == TExtractionInfoState::eiBadChecksumField ||
            state == TExtractionInfoState::eiChecksumDiffers)
            info = DecodeExtractionInfo(bytes);
        if (!Trim(info.ProductTitle).empty())
            FCaption = info.ProductTitle;
        if (state == TExtractionInfoState::eiValid) {
            // A signed program checks the signature on the file it holds:
            // its publisher's, over every byte but the signature's own.
            if (H.ImageSigned()) {
                const std::string problem = H.SignatureProblem(R.LoaderPath);
                if (!problem.empty())
                    throw TLoaderError{lecDamaged,
                                       Format("The setup file %s is damaged and cannot be run.\n\n"
                                              "It is signed, but %s.\n\nPlease get a new copy of it.",
                                              {R.LoaderPath, problem})};
            }
            FSelfExtracting = true;
            place.File = R.LoaderPath;
            place.Start = info.Setup1Start;
            place.Length = static_cast<int64_t>(info.Setup1End) - info.Setup1Start + 1;
        } else {
            std::string beside = ExtractFilePath(R.LoaderPath) + "setup.1";
            bool plain = !R.Seal.Sealed && (state == TExtractionInfoState::eiNoMagic ||
                                            state == TExtractionInfoState::eiTooShort);
            if (!plain || !FileExists(beside)) {
                std::string reason = DescribeExtractionInfoState(state, bytes, infoEnd);
                if (plain)
                    reason += " There is no setup.1 beside it either.";
                throw TLoaderError{lecDamaged,
                                   Format("The setup file %s is damaged and cannot be run.\n\n%s\n\n"
                                          "Please get a new copy of it.",
                                          {R.LoaderPath, reason})};
            }
            place.File = beside;
        }
        std::string file = place.File;
        place.Open = [this, file] { return OpenWithRetry(file); };
        return place;
    }

    void MakeOwnFolder() {
        std::string temp = AddBackslash(R.TempDir);
        uint32_t error = 0;
        for (int attempt = 0; attempt < 100 && !R.TempDir.empty(); ++attempt) {
            std::string folder = temp + UnguessableName("qfdsetup");
            // Only a folder this run made is its own: an existing one is never taken.
            if (H.MakeFolder(folder)) {
                FFolder = folder;
                return;
            }
            error = LastSystemError();
            if (!DirectoryExists(temp))
                break;
        }
        throw TLoaderError{
            lecNoFolder,
            Format("Cannot create a folder for the setup program in the temporary folder %s.\n\n%s",
                   {R.TempDir, SystemErrorText(error)})};
    }

    // Lets go of everything it holds.
    void LetGo() {
        FEarlyHolds.clear();
        FFolderHold.reset();
        FHeld.clear();
    }

    // Removes the folder and what is in it; the system may still hold the
    // setup program's file for a moment after its end, and a file removed
    // while another program still has it open is gone only once that program
    // lets go. Bounded: a folder that cannot go stays.
    void RemoveOwnFolder() {
        LetGo();
        for (int attempt = 1;; ++attempt) {
            // Flat: the folder holds the files this run extracted and what
            // the setup program may have put beside them; an empty folder
            // in it goes too, nothing inside one is followed.
            for (const std::string& name : ListDirectory(FFolder)) {
                std::string path = AddBackslash(FFolder) + name;
                if (!name.empty() && name.back() == '\\')
                    RemoveDir(RemoveBackslash(path));
                else
                    RemoveFile(path);
            }
            if (RemoveDir(FFolder) || !DirectoryExists(FFolder) || attempt >= kRemoveAttempts) {
                if (R.RemoveTempDirWhenEmpty && ListDirectory(R.TempDir).empty())
                    RemoveDir(RemoveBackslash(R.TempDir));
                return;
            }
            H.Pause(kRemoveRetryMs);
        }
    }

    std::string SetupProgram(const std::vector<std::string>& names, const std::string& archive) {
        if (names.empty())
            throw TLoaderError{lecExtractFail, Format("The setup archive in %s holds no files.", {archive})};
        if (!SameText(ExtractFileExt(names.front()), ".exe"))
            throw TLoaderError{lecExtractFail,
                               Format("The setup archive in %s holds no setup program: its first file is %s.",
                                      {archive, names.front()})};
        return AddBackslash(FFolder) + names.front();
    }

    const TLoaderRequest& R;
    TLoaderHost& H;
    std::string FCaption = kDefaultCaption;
    bool FSelfExtracting = false;
    bool FNotSealed = false;
    bool FDigestDiffers = false;
    std::string FFolder;
    // Held from their first read (the own file, a setup.1 beside it) or from
    // their check (the unpacked files) until the setup program has ended.
    std::vector<std::unique_ptr<TStream>> FHeld;
    std::unique_ptr<TFolderHold> FFolderHold;
    // The unpacked files, held from the moment each was closed.
    std::map<std::string, std::unique_ptr<TStream>> FEarlyHolds;
};

} // namespace

uint32_t RunLoader(const TLoaderRequest& request, TLoaderHost& host) {
    return TLoaderRun(request, host).Run();
}
