// Takes pictures of setup.exe itself, for the README; run by
// scripts/screenshots.sh on a display of its own, inside Wine, with the
// screen-saver product prepared as scripts/run.sh prepares it but with a
// large screen saver, so that the copy-progress window stays up.
//   setup_screenshots FOLDER SOURCE
// FOLDER: the Unix folder for the PNG files; SOURCE: the distribution folder
// (-s). It saves setup-copying.png while the big file is extracted, with
// both progress bars part-way, and setup-complete.png of the
// good-installation page; then it presses Finish and waits for the program
// to end. Exit code 0 when both pictures were taken and the program ended
// well; 1, with the reason, when a window did not come in time or a picture
// would not show what it should.
#include "SampleDriver.h"
#include "ScreenPicture.h"
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

using namespace SampleDriver;

namespace {

struct TFailure {
    std::string What;
};

std::string SetupExe() {
    return ThisProgramFolder() + "..\\..\\src\\setup\\setup.exe";
}

void Shot(const std::string& unixPath) {
    std::string why;
    if (!ScreenPicture::Take(unixPath, why))
        throw TFailure{why};
    std::printf("%s\n", unixPath.c_str());
}

// The window's progress bars from top to bottom: the file's, then the total.
std::vector<HWND> BarsOf(TWindowHandle window) {
    std::vector<HWND> bars;
    for (HWND h : VisibleDescendants(window))
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "msctls_progress32"))
            bars.push_back(h);
    std::sort(bars.begin(), bars.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return bars;
}

struct TBar {
    int Pos, Max;
    bool PartWay() const { return Pos > 0 && Pos < Max; }
    // Far enough that a person sees the bar filled, not a sliver of it.
    bool WellUnderWay() const { return Pos * 4 >= Max && Pos < Max; }
    std::string Text() const { return std::to_string(Pos) + "/" + std::to_string(Max); }
};

TBar ReadBar(HWND bar) {
    return {static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)),
            static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0))};
}

// The copy-progress window in the middle of the big file: the picture is
// taken once the file bar stands a quarter of the way or more and the total
// bar part-way, and kept only when the file bar is still short of its end
// after it (and has not begun a later file), so that the picture shows it
// part-way.
void ShootCopying(const TProcess& setup, const std::string& folder) {
    TWindowHandle copying = FindTopWindow("Copying installation files", setup.Id(), 60000);
    if (!copying)
        throw TFailure{"no copy-progress window within 60 s"};
    const std::vector<HWND> bars = BarsOf(copying);
    if (bars.size() != 2)
        throw TFailure{"the copy-progress window has " + std::to_string(bars.size()) +
                       " progress bars, not the file's and the total"};
    if (!WaitFor([&] { return ReadBar(bars[0]).WellUnderWay() && ReadBar(bars[1]).PartWay(); }, 60000, 10))
        throw TFailure{"the file bar never stood a quarter of the way with the total bar part-way: file " +
                       ReadBar(bars[0]).Text() + ", total " + ReadBar(bars[1]).Text()};
    const TBar before = ReadBar(bars[0]);
    const std::string picture = folder + "/setup-copying.png";
    Shot(picture);
    const TBar after = ReadBar(bars[0]);
    std::printf("file bar %s before the picture, %s after it\n", before.Text().c_str(), after.Text().c_str());
    if (after.Pos < before.Pos || !after.PartWay()) {
        DeleteFileW(Wide(ScreenPicture::WindowsPathOf(picture)).c_str()); // it would show the wrong moment
        throw TFailure{
            "the file bar went from " + before.Text() + " to " + after.Text() +
            " while the picture was taken: it may not show the file part-way (a bigger file helps)"};
    }
}

// The good-installation page, once it has put the focus on Finish; then
// Finish, and the program ends by itself.
void ShootComplete(TProcess& setup, const std::string& folder) {
    TWindowHandle page = FindTopWindow("Setup complete", setup.Id(), 180000);
    if (!page)
        throw TFailure{"no good-installation page within 180 s"};
    if (!WaitFor([&] { return FocusOnButtonOf(page); }, 10000))
        throw TFailure{"the good-installation page never focused its button"};
    Sleep(600); // the page paints itself
    Shot(folder + "/setup-complete.png");
    if (!PressButton(page, "Finish"))
        throw TFailure{"the good-installation page has no Finish"};
    if (!setup.WaitForExit(30000))
        throw TFailure{"the program did not end after Finish"};
    if (setup.ExitCode() != 0)
        throw TFailure{"the program ended with exit code " + std::to_string(setup.ExitCode())};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: setup_screenshots FOLDER SOURCE\n");
        return 2;
    }
    const std::string folder = argv[1], source = argv[2];
    std::unique_ptr<TProcess> setup;
    try {
        setup = std::make_unique<TProcess>(QuoteArg(SetupExe()) + " " + QuoteArg("-s" + source));
        ShootCopying(*setup, folder);
        ShootComplete(*setup, folder);
    } catch (const TFailure& f) {
        std::fprintf(stderr, "setup_screenshots: %s; %s\n", f.What.c_str(),
                     setup ? TopCaptions(setup->Id()).c_str() : "");
        return 1; // the destructor ends the program
    } catch (const std::exception& e) {
        std::fprintf(stderr, "setup_screenshots: %s\n", e.what());
        return 1;
    }
    return 0;
}
