// A person at the keyboard while the test's own thread sits in a modal loop:
// the person's steps run on a second thread with the window driver, and what
// they saw is checked on the test's thread afterwards.
#pragma once
#include "support/WindowDriver.h"
#include <array>
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
// The state image (0 none; n shows image n - 1 of the state list) of item i
// of a list view of this process.
int ListViewStateImage(WindowDriver::TWindowHandle listView, int item);
// What image i of a list view's state or small image list shows, drawn on
// white: width x height pixels 0xRRGGBB, rows from the top; empty when the
// list has no such image.
std::vector<uint32_t> ListViewImagePixels(WindowDriver::TWindowHandle listView, bool stateList, int image,
                                          int& width, int& height);
// The width of a list view's column, and of a text in the list view's font.
int ListViewColumnWidth(WindowDriver::TWindowHandle listView, int column);
int ListViewTextWidth(WindowDriver::TWindowHandle listView, const std::string& text);
// A window's client area on the screen: left, top, right, bottom.
std::array<int, 4> ClientOnScreen(WindowDriver::TWindowHandle w);
// The pixels a window shows in its client area now (0xRRGGBB, rows from the top).
std::vector<uint32_t> WindowPixels(WindowDriver::TWindowHandle w, int& width, int& height);

// The position a progress bar of this process shows.
int ProgressBarPosition(WindowDriver::TWindowHandle bar);
// The folder's long name without a trailing backslash, as the system names it.
std::string LongFolderName(const std::string& path);
