// A person at the keyboard while the test's own thread sits in a modal loop:
// the person's steps run on a second thread with the window driver, and what
// they saw is checked on the test's thread afterwards.
#pragma once
#include "support/WindowDriver.h"
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPerson {
public:
    explicit TPerson(std::function<void(TPerson&)> steps);
    ~TPerson();
    TPerson(const TPerson&) = delete;
    TPerson& operator=(const TPerson&) = delete;
    void Join();
    // Records a step that went wrong; false when cond does not hold.
    bool Check(bool cond, const std::string& what);
    std::vector<std::string> Failures();

private:
    std::mutex FLock;
    std::vector<std::string> FFailures;
    std::thread FThread;
};

// Runs the test thread's messages until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 3000);

// A visible window of this process of the class that has a descendant of
// childClass; 0 when none comes in time.
WindowDriver::TWindowHandle FindOwnWindow(const std::string& cls, const std::string& childClass,
                                          uint32_t timeoutMs = 10000);
// Types into an edit box as a person ends typing: the text, then a key released.
void TypeText(WindowDriver::TWindowHandle edit, const std::string& text);
// A key pressed and released in the window.
void PressKey(WindowDriver::TWindowHandle w, uint16_t vk);
// The column captions a list view of this process shows in its header.
std::vector<std::string> ListViewColumnTexts(WindowDriver::TWindowHandle listView);
// The text of the selected item of a tree view of this process; empty when none.
std::string SelectedTreeText(WindowDriver::TWindowHandle tree);
// The position a progress bar of this process shows.
int ProgressBarPosition(WindowDriver::TWindowHandle bar);
// The folder's long name without a trailing backslash, as the system names it.
std::string LongFolderName(const std::string& path);
