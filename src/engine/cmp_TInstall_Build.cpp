// Build mode: the distribution of the product made by the setup program
// itself (setup.1, files.1, the remote list of files) and the self-extracting
// setup.exe; and, at install, finding the product archive inside that file.
#include "engine/cmp_TInstall.h"
#include "engine/routines_RemoteFileList.h"
#include "objects/routines_DownloadDigests.h"
#include "objects/routines_Log.h"
#include "platform/routines_CodeSign.h"
#include "platform/routines_Files.h"
#include "platform/routines_Hash.h"
#include "platform/routines_Process.h"
#include <memory>
#include <set>

namespace {
const char* const kAppendFailed =
    "Cannot create the self-extracting exe because %s could not be loaded onto %s";

// Frees a component made without an owner.
struct TFreeComponent {
    void operator()(TComponent* c) const { c->Free(); }
};

// Appends all of the file Path to Dest; the bytes appended.
int64_t AppendFile(TStream& Dest, const std::string& Path, const std::string& DestName) {
    TFileStream source(Path, fmOpenRead | fmShareDenyWrite);
    const int64_t size = source.Size();
    std::vector<char> block(65536);
    int64_t copied = 0;
    while (copied < size) {
        const int64_t got = source.Read(block.data(), static_cast<int64_t>(block.size()));
        if (got <= 0)
            break;
        const int64_t put = Dest.Write(block.data(), got);
        copied += put;
        if (put < got)
            break;
    }
    if (copied < size)
        throw IEInstall(kAppendFailed, {Path, DestName});
    return copied;
}

// Build and floppy modes run at the end of loading, when the components
// stored after this one are still marked as loading, and an install file
// that loads does not start an operation. Their values are all set by then:
// the mark goes, their own end of loading still follows.
void EndLoadingMarks(TComponent* owner) {
    if (!owner)
        return;
    for (int i = 0; i < owner->ComponentCount(); ++i)
        if (owner->Components(i)->Loading())
            owner->Components(i)->SetLoadingState(false);
}

// A path as the current folder completes it (enough to compare two paths).
std::string AbsolutePath(const std::string& path) {
    if (path.find(':') != std::string::npos || (!path.empty() && (path[0] == '\\' || path[0] == '/')))
        return path;
    return AddBackslash(GetCurrentDir()) + path;
}

// Adds the file at path to setup.1 (made anew by lzcOverwrite) under its file
// name alone: the loading program unpacks the members side by side, and the
// author's folders are nobody's business on the user's machine.
void AddToSetupArchive(const std::string& setup1, const std::string& path, TlzhCommand command, bool net) {
    struct TFileNamesOnly {
        TQnfdCompress& Archive;
        explicit TFileNamesOnly(TQnfdCompress& a) : Archive(a) { Archive.StoreFileNamesOnly = true; }
        ~TFileNamesOnly() { Archive.StoreFileNamesOnly = false; }
    } namesOnly(SharedArchive());
    std::unique_ptr<TInstallFile, TFreeComponent> file(new TInstallFile(nullptr));
    file->SetNet(net);
    file->SetFileName(ExtractFileName(path));
    file->SetIncludeFromDir(RemoveBackslash(ExtractFilePath(path)));
    file->SetAddToArchive(command);
    file->SetArchiveFileType(nullptr);
    file->SetArchiveFile(setup1);
    file->CompressFile();
}

// A position of the extraction information: 32 bits, never wrapped.
Integer TrailerPosition(int64_t pos, const std::string& SetupExe) {
    if (pos < 0 || pos > INT32_MAX)
        throw IEInstall("Cannot create the self-extracting exe %s: it would grow beyond 2,147,483,647 bytes",
                        {SetupExe});
    return static_cast<Integer>(pos);
}

// The signer of the build's setup.exe, when it is to be signed. Its key and
// certificates are read before anything is built: a missing file costs no
// compression and changes nothing.
std::unique_ptr<TCodeSigner> OpenCodeSigner(const TBuildInfo& info) {
    if (!info.SignCode)
        return nullptr;
    for (const auto& [file, property] : {std::pair{&info.CredentialsFile, "CredentialsFile"},
                                         std::pair{&info.PrivateKeyFile, "PrivateKeyFile"}})
        if (Trim(*file).empty())
            throw IEInstall(
                "Cannot sign the setup program: BuildInfo.SignCode is set, but BuildInfo.%s names no file",
                {property});
    return std::make_unique<TCodeSigner>(info.CredentialsFile, info.PrivateKeyFile);
}

// Signs the finished setup.exe. When that fails, setup.exe goes back to the
// loading program it was before this build, so that no unsigned file looks
// like the build's result.
void SignSelfExtractor(TCodeSigner& signer, const std::string& SetupExe, int64_t LoaderSize,
                       const TCodeSignDescription& description) {
    try {
        signer.Sign(SetupExe, description);
    } catch (const Exception& e) {
        std::string reason = e.Message(), what = "it holds the loading program only";
        if (!reason.empty() && reason.back() != '.')
            reason += '.';
        try {
            TFileStream exe(SetupExe, fmOpenReadWrite | fmShareExclusive);
            exe.SetSize(LoaderSize);
        } catch (const Exception&) {
            what = RemoveFile(SetupExe) ? "it was removed"
                                        : "it could not be cut back or removed: do not ship it";
        }
        throw IEInstall("%s %s is not finished: %s.", {reason, SetupExe, what});
    }
    LogLine("Build", "signed " + SetupExe + " as " + signer.SignerName());
}
} // namespace

// --- the -b mode -----------------------------------------------------------------------------------

void TCustomInstall::BuildFromBuildInf() {
    try {
        const std::string buildInf = AddBackslash(GetProgramDir()) + "BUILD.INF";
        if (!FileExists(buildInf))
            throw IEInstall(
                "Need to have a BUILD.INF file in this directory with the first line specifying the "
                "build directory");
        TStringList lines;
        lines.LoadFromFile(buildInf);
        if (lines.Count() < 1)
            throw IEInstall("Must be 1 line in BUILD.INF. This line should specify the build directory");
        EndLoadingMarks(Owner());
        // The product's files are named by the main form on its activation,
        // which build mode never reaches: read them as an installation would.
        if (FMainForm && FMainForm->OnActivate)
            FMainForm->OnActivate(Owner());
        // The product's own name makes the title of the loading program's
        // windows; a project that names none keeps the stock name.
        std::string name = Trim(Information().ProductName());
        if (name.empty())
            name = "SaverName";
        StartRunLog("build");
        LogLine("Build", "into <" + lines[0] + ">");
        BuildDistribution(ProgramPath(), lines[0], true, name);
        LogLine("Build", "done");
    } catch (const Exception& e) {
        LogLine("Error", std::string(e.ClassName()) + ": " + e.Message());
        Application()->SetExitCode(secFailed);
        ShowRunError(e);
    } catch (const std::exception& e) {
        LogLine("Error", e.what());
        Application()->SetExitCode(secFailed);
        ShowRunError(Exception(e.what()));
    }
    CloseLog();
    EndApplication();
}

std::string TCustomInstall::FindLoadingProgram() const {
    const std::string dir = AddBackslash(GetProgramDir());
    for (const std::string& candidate : {dir + "loader.exe", dir + "..\\loader\\loader.exe"})
        if (FileExists(candidate))
            return candidate;
    return "";
}

void TCustomInstall::BuildDistribution(const std::string& Program, const std::string& BuildDir,
                                       bool StandAlone, const std::string& Name) {
    if (StandAlone && !FUseLoadingProgram)
        throw IEInstall(
            "Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is "
            "set to False");
    const std::string dir = BuildDir.empty() ? std::string() : AddBackslash(BuildDir);
    const std::string setupExe = dir + "setup.exe", setup1 = dir + "setup.1", files1 = dir + "files.1";
    const std::unique_ptr<TCodeSigner> signer = StandAlone ? OpenCodeSigner(FBuildInfo) : nullptr;
    if (StandAlone) {
        // The program that runs cannot be its own loading program.
        if (SameText(AbsolutePath(setupExe), AbsolutePath(Program)))
            throw IEInstall(
                "Cannot build into %s: its setup.exe is this setup program, not the loading program",
                {BuildDir});
        if (!FileExists(setupExe)) {
            const std::string loader = FindLoadingProgram();
            if (loader.empty())
                throw IEInstall(
                    "Cannot build a stand alone executable: the loading program is missing. Put it "
                    "into the build directory as %s, or keep loader.exe beside the setup program "
                    "in %s",
                    {setupExe, GetProgramDir()});
            if (!BuildDir.empty())
                ForceDirectory(RemoveBackslash(BuildDir));
            if (!CopyFileTo(loader, setupExe, false))
                throw IEInstall("Cannot copy the loading program from %s to %s", {loader, setupExe});
            LogLine("Build", "loading program " + loader);
        }
    }
    CopyLoadingProgram(BuildDir, Program);

    {
        // The product files go into files.1 of the build folder; the
        // component's own archive settings come back however this ends.
        struct TRestore {
            TCustomInstall& I;
            std::string File;
            TCustomPathSpecifier* Type;
            ~TRestore() {
                I.SetArchiveFileType(nullptr);
                I.SetArchiveFile(File);
                I.SetArchiveFileType(Type);
            }
        } restore{*this, ArchiveFile(), ArchiveFileType()};
        SetArchiveFileType(nullptr);
        SetArchiveFile(files1);
        constexpr TCompressOptions common =
            (1u << coSeparateToBuildDir) | (1u << coReserved2) | (1u << coIncludeAll);
        switch (FDistributeType) {
        case dtTraditional:
            Compress(common | (1u << coForceNetFilesLocal));
            break;
        case dtWeb:
            Compress(common | (1u << coForceFilesNet));
            WriteFileList();
            break;
        case dtTraditionalNet:
            Compress(common);
            WriteFileList();
            break;
        }
    }
    WriteDownloadDigests(BuildDir);
    if (StandAlone) {
        const int64_t loaderSize = FileSizeOf(setupExe);
        MakeSelfExtractor(setupExe, setup1, files1, Name);
        if (signer)
            SignSelfExtractor(*signer, setupExe, loaderSize,
                              {FBuildInfo.AppName.empty() ? Name + " Screen Saver" : FBuildInfo.AppName,
                               FBuildInfo.AppURL});
    }
}

void TCustomInstall::Compress(TCompressOptions Options) {
    TCustomInstallFileList& files = InstallFileList();
    for (int i = 0; i < files.Count(); ++i)
        files.Items(i)->ResetCompressState();
    TFileContainer::Compress(Options);
}

void TCustomInstall::CopyLoadingProgram(const std::string& BuildDir, const std::string& Program) {
    if (FUseLoadingProgram) {
        try {
            MakeSetupArchive(BuildDir, Program);
        } catch (const EqcDiskFull&) {
            throw IEInstall(
                "The disk that you have specified has been determined to be either too full or is "
                "corrupt while trying to copy the SETUP.1 archive file. You should probably clear all "
                "files off of the drive. Minimally, you should leave enough space on the drive for the "
                "SETUP.1 archive file.");
        }
        return;
    }
    const std::string dest = AddBackslash(BuildDir) + ExtractFileName(Program);
    try {
        ForceDirectory(RemoveBackslash(BuildDir));
    } catch (const Exception&) {
        throw IEInstall("Cannot copy the installation application from %s to %s", {Program, dest});
    }
    if (!CopyFileTo(Program, dest, false))
        throw IEInstall("Cannot copy the installation application from %s to %s", {Program, dest});
}

void TCustomInstall::MakeSetupArchive(const std::string& BuildDir, const std::string& Program) {
    if (Trim(Program).empty())
        throw IEInstall("Cannot create setup file. Executable is blank");
    if (!FileExists(Program))
        throw IEInstall("TInstall: Cannot find the executable file %s", {Program});
    const std::string setup1 = (BuildDir.empty() ? std::string() : AddBackslash(BuildDir)) + "setup.1";
    AddToSetupArchive(setup1, Program, lzcOverwrite, true);
    for (const std::string& line : FPresetupFiles.Items())
        AddToSetupArchive(setup1, line, lzcOnlyAdd, false);
}

void TCustomInstall::WriteDownloadDigests(const std::string& BuildDir) {
    const std::string dir = BuildDir.empty() ? std::string() : AddBackslash(BuildDir);
    const std::string path = dir + kDownloadDigestsName;
    if (FDistributeType == dtTraditional) {
        // Nothing is downloaded; a list left by an earlier build would only mislead.
        if (FileExists(path) && !RemoveFile(path))
            throw IEInstall("Cannot delete the old list of download digests %s", {path});
        return;
    }
    // What the run may fetch: the list of files, and the archive "<name>.1"
    // of every object that has one in the build folder (setup.1 and files.1
    // travel inside setup.exe, never on the server).
    std::vector<std::string> names{"filelist.lst"};
    std::set<TFileRelated*> seen;
    auto note = [&](TFileRelated* r) {
        if (seen.insert(r).second && !SameText(r->Name(), "setup") && !SameText(r->Name(), "files") &&
            FileExists(dir + r->Name() + ".1"))
            names.push_back(r->Name() + ".1");
    };
    note(this);
    TCustomInstallFileList& files = InstallFileList();
    for (int i = 0; i < files.Count(); ++i)
        for (TInstallObject* o = files.Items(i); o; o = dynamic_cast<TInstallObject*>(o->Container()))
            if (auto* r = dynamic_cast<TFileRelated*>(o))
                note(r);
    std::vector<TDownloadDigest> digests;
    for (const std::string& name : names) {
        TDownloadDigest d;
        d.Name = name;
        d.Digest = Sha256OfFile(dir + name);
        LogLine("Build", "SHA-256 of " + name + ": " + DigestToHex(d.Digest));
        digests.push_back(std::move(d));
    }
    const std::string text = DownloadDigestsText(digests);
    {
        TFileStream list(path, fmCreate);
        list.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    // Beside the setup program in setup.1 (or in the build folder, where a
    // setup without a loading program lies): the digests travel with the
    // program that checks against them, never with the files they describe.
    if (FUseLoadingProgram)
        AddToSetupArchive(dir + "setup.1", path, lzcOnlyAdd, false);
}

void TCustomInstall::WriteFileList() {
    const std::string folder = RemoveBackslash(ExtractFilePath(ExpandedArchiveFile()));
    if (!folder.empty())
        ForceDirectory(folder);
    TCustomInstallFileList& files = InstallFileList();
    std::string records;
    Integer count = 0;
    for (int i = 0; i < files.Count(); ++i) {
        TCustomInstallFile* f = files.Items(i);
        if (f->CompressState() != 1 && f->CompressState() != 2)
            continue;
        TRemoteFileRecord r;
        r.FileSize = f->FileSize();
        r.FileDate = f->FileDate();
        r.Name = f->Name();
        r.Version = f->FileVersion();
        records += RemoteFileRecordBytes(r);
        ++count;
    }
    TFileStream list((folder.empty() ? std::string() : folder + "\\") + "filelist.lst", fmCreate);
    const uint8_t head[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                             static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
    list.WriteBuffer(head, 4);
    list.WriteBuffer(records.data(), static_cast<int64_t>(records.size()));
}

// --- the self-extracting setup.exe ------------------------------------------------------------------

void TCustomInstall::MakeSelfExtractor(const std::string& SetupExe, const std::string& Setup1,
                                       const std::string& Files1, const std::string& Name) {
    TFileStream exe(SetupExe, fmOpenReadWrite | fmShareDenyNone);
    const int64_t before = exe.Size();
    // A signature of what the file held so far (a signed loading program or
    // an earlier signed build) cannot cover what is appended now, and a
    // certificate table in the middle of the file would keep it from being
    // signed again: its entry goes, its bytes stay as they are.
    const TPeSignatureFields pe = ReadPeSignatureFields(exe);
    uint8_t signedFields[kPeCheckSumSize + kPeCertEntrySize] = {};
    if (pe.Signed()) {
        exe.SetPosition(pe.CheckSumAt);
        exe.ReadBuffer(signedFields, kPeCheckSumSize);
        exe.SetPosition(pe.CertEntryAt);
        exe.ReadBuffer(signedFields + kPeCheckSumSize, kPeCertEntrySize);
    }
    try {
        if (ClearPeSignatureFields(exe))
            LogLine("Build", "the signature of " + SetupExe + " no longer applies: its entry removed");
        TExtractionInfo info;
        exe.Seek(0, TSeekOrigin::soEnd);
        info.Setup1Start = TrailerPosition(exe.Position(), SetupExe);
        AppendFile(exe, Setup1, SetupExe);
        info.Setup1End = TrailerPosition(exe.Position() - 1, SetupExe);
        if (FileExists(Files1)) {
            info.Files1Start = TrailerPosition(exe.Position(), SetupExe);
            AppendFile(exe, Files1, SetupExe);
            info.Files1End = TrailerPosition(exe.Position() - 1, SetupExe);
        }
        info.ProductTitle = Name + " Screen Saver";
        // Zeros up to where the record ends on a multiple of 8: a signer
        // then puts its table right behind the record.
        const int64_t pad =
            (kExtractionInfoAlignment - (exe.Position() + kExtractionInfoSize) % kExtractionInfoAlignment) %
            kExtractionInfoAlignment;
        const uint8_t zeros[kExtractionInfoAlignment] = {};
        if (exe.Write(zeros, pad) != pad)
            throw IEInstall(kAppendFailed, {"the extraction information", SetupExe});
        TrailerPosition(exe.Position() + kExtractionInfoSize, SetupExe);
        const int64_t end = exe.Position();
        // The loading program's seal first: the checksum covers it.
        WriteExtractionInfo(exe, info);
        if (!WritePayloadSeal(exe, end + kExtractionInfoSize))
            LogLine("Build", "the loading program has no seal (an older one): it checks the checksum only");
        if (!SealExtractionInfo(exe, end, info))
            throw IEInstall(
                "Cannot create the self-extracting exe %s: it cannot be read back for its checksum",
                {SetupExe});
        exe.SetPosition(end);
        WriteExtractionInfo(exe, info);
        if (exe.Position() != end + kExtractionInfoSize)
            throw IEInstall(kAppendFailed, {"the extraction information", SetupExe});
        LogLine("Build", "self-extracting " + SetupExe + ", " + std::to_string(exe.Size()) +
                             " bytes, checksum " + Format("%.8x", {static_cast<int64_t>(info.Checksum)}));
    } catch (...) {
        // A half-appended archive would follow the loading program for good:
        // the file goes back to what it was before this build.
        try {
            exe.SetSize(before);
            if (pe.Signed()) {
                exe.SetPosition(pe.CheckSumAt);
                exe.WriteBuffer(signedFields, kPeCheckSumSize);
                exe.SetPosition(pe.CertEntryAt);
                exe.WriteBuffer(signedFields + kPeCheckSumSize, kPeCertEntrySize);
            }
        } catch (...) {
        }
        throw;
    }
}

void TCustomInstall::ReadExtractionInfo(const std::string& Path, TExtractionInfoBytes& Trailer) {
    int64_t end = 0;
    ReadExtractionInfo(Path, Trailer, end);
}

void TCustomInstall::ReadExtractionInfo(const std::string& Path, TExtractionInfoBytes& Trailer,
                                        int64_t& TrailerEnd) {
    Trailer.fill(0);
    TrailerEnd = 0;
    bool read = false;
    try {
        TFileStream f(Path, fmOpenRead | fmShareDenyNone);
        read = ReadExtractionInfoBytes(f, Trailer, TrailerEnd);
    } catch (const Exception&) {
        read = false;
    }
    if (!read)
        throw IEInstall("Could not read the extraction info from the archive file %s when trying to find the "
                        "correct offset into the self extracting file",
                        {Path});
}

void TCustomInstall::SetExtractionOffset() {
    const std::string path = ExpandedArchiveFile();
    TExtractionInfoBytes bytes;
    int64_t size = 0;
    ReadExtractionInfo(path, bytes, size);
    // The positions are checked before the archive is read at them: a damaged
    // or cut file gets its reason, not a misleading archive error.
    TExtractionInfo info;
    TExtractionInfoState state = CheckExtractionInfo(bytes, size, info);
    if (state != TExtractionInfoState::eiValid)
        throw IEInstall("The self-extracting file %s is damaged: %s",
                        {path, DescribeExtractionInfoState(state, bytes, size)});
    // A web distribution keeps every file on its server, so its build made
    // no files.1; any other kind reads its local files from there.
    if (!info.HasFiles1() && FDistributeType != dtWeb)
        throw IEInstall("The self-extracting file %s holds no product archive (files.1)", {path});
    SharedArchive().Offset = info.Files1Start;
    LogLine("Run", "product archive inside " + path + " at " + std::to_string(info.Files1Start));
}
