// The journal of a run: how to undo every change the run makes, on disk
// before the change is made, so that a Cancel, a failure or the next start
// after a killed run can put the machine back as it was. A run holds its
// product's named lock while it lives; a journal whose lock nobody holds
// belongs to a run that died.
#pragma once
#include "exceptions_Quenfold.h"
#include "routines_AdminFolder.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Where the journals lie (the machine's common application data); tests
// point it at a folder of their own.
std::string& JournalFolderOverride();
std::string JournalFolder();

// A short name for a product, the same on every start: the journal's file
// name and the lock's name are made from it.
std::string ProductRunId(const std::string& product);

// Where the undo's lines go (kind, text); may be empty.
using TJournalLog = std::function<void(const std::string& kind, const std::string& text)>;

// A step that a test makes fail on purpose.
QFD_EXCEPTION(EJournalStepFailure, Exception)

class TRunJournal {
public:
    TRunJournal() = default;
    // A journal still open is rolled back: a run that never committed must
    // not stay half done.
    ~TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    // Takes the product's lock; false when another run of it holds it.
    bool Lock(const std::string& product);
    bool Locked() const { return FLock != 0; }
    void Unlock();

    // Starts recording (the lock must be held): every hook of routines_Undo
    // now writes its undo here first.
    void Begin(const TJournalLog& log);
    bool IsOpen() const { return FOpen; }
    // The temporary copy of the setup program: removed when a dead run is
    // repaired (a live run removes it itself).
    void NoteTemporaryCopy(const std::string& folder);
    // Ends the run for good: files kept aside go, the journal goes.
    void Commit();
    // Undoes every recorded step, newest first, going on past failures; the
    // failures are returned (and logged).
    std::vector<std::string> Rollback();
    size_t Steps() const { return FEntries.size(); }
    const std::vector<std::vector<std::string>>& Entries() const { return FEntries; }
    // Stops recording and leaves the journal on disk, as a run that is
    // killed does: for tests of the repair.
    void Abandon();
    const std::string& FileName() const { return FFile; }

    // The journal recording now, if any.
    static TRunJournal* Active();
    // Tests: the step of this number (counted from 1) fails after its undo
    // was recorded; 0 fails none.
    static int& FailAtStep();

private:
    void Record(const std::vector<std::string>& fields);
    void Detach();
    void CloseFile();

    void ValueChanging(uintptr_t root, const std::string& key, const std::string& name);
    void KeyCreating(uintptr_t root, const std::string& key);
    void TreeDeleting(uintptr_t root, const std::string& key);
    void ProfileChanging(const std::string& file, const std::string& section, const std::string& key);
    std::string KeepAside(const std::string& path);

    std::string FId;
    std::string FFile;
    uintptr_t FLock = 0;
    intptr_t FHandle = -1;
    bool FOpen = false;
    bool FBusy = false;
    TJournalLog FLog;
    std::vector<std::vector<std::string>> FEntries;
    std::set<std::string> FValuesSeen;
};

// Finds the journals of runs that died (no live run holds their lock),
// undoes them and removes them. Returns how many were repaired.
int RepairInterruptedRuns(const TJournalLog& log);
