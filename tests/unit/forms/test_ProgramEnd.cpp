// The end of a real program of the framework: closing its main form ends the
// message loop, and then the forms and their components are destroyed.
#include "platform/routines_Strings.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>

using namespace WindowDriver;

TEST(ProgramEnd, ClosingTheMainFormDestroysTheFormsAndTheirComponents) {
    auto fast = FastWindowsUnderWine("qfd_endapp.exe");
    TTempFolder dir;
    TProcess app(QuoteArg(ThisProgramFolder() + "qfd_endapp.exe"), dir.Path());
    TWindowHandle main = FindTopWindow("Program end test", app.Id());
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(CloseWindow(main));
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_EQ(app.ExitCode(), 0u);
    ASSERT_TRUE(FileExists(dir / "trace.txt"));
    TStringList trace;
    trace.SetText(ReadWholeFile(dir / "trace.txt"));
    // The form's own components first, last created first, while the form is
    // whole; then the form; then what the application itself owns.
    EXPECT_EQ(trace.Items(),
              (std::vector<std::string>{"form OnDestroy", "component Second", "component First", "form",
                                        "component OfTheApplication", "end 0"}));
}
