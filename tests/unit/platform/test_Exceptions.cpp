#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include <gtest/gtest.h>

namespace {
struct HookGuard {
    ~HookGuard() {
        SetTranslateTextHook(nullptr);
        SetNetErrorContextHook(nullptr);
        SetNetErrorTextHook(nullptr);
    }
};
} // namespace

TEST(Exceptions, IExceptionTranslatesTheFormatBeforeFilling) {
    HookGuard guard;
    IEInstall plain("Invalid parameter %s");
    EXPECT_EQ(plain.Message(), "Invalid parameter %s");
    SetTranslateTextHook([](const std::string& s) {
        return s == "Invalid parameter %s" ? std::string("Ungueltiger Parameter %s") : s;
    });
    IEInstall translated("Invalid parameter %s", {"-x"});
    EXPECT_EQ(translated.Message(), "Ungueltiger Parameter -x");
    // The argument itself is not translated.
    IEInstall arg("%s", {"Invalid parameter %s"});
    EXPECT_EQ(arg.Message(), "Invalid parameter %s");
    // The plain-message form is translated too, but the base families are not.
    EXPECT_EQ(IEPathSpecifier("Invalid parameter %s").Message(), "Ungueltiger Parameter %s");
    EXPECT_EQ(EQnfdCompress("Invalid parameter %s").Message(), "Invalid parameter %s");
}

TEST(Exceptions, FamiliesAreCaughtByTheirBases) {
    try {
        throw IEfcDuplicateFile("dup");
    } catch (const IEFileContainer& e) {
        EXPECT_STREQ(e.ClassName(), "IEfcDuplicateFile");
    }
    EXPECT_THROW(throw EqcAborted("Operation aborted by user"), EQnfdCompress);
    EXPECT_THROW(throw EAIUserAbort(), EAI);
    EXPECT_EQ(EAIUserAbort().Message(), "Installation aborted by the user");
    EXPECT_FALSE((std::is_base_of_v<ENIL, ENIL_WriteDestFile>));
    EXPECT_FALSE((std::is_base_of_v<IException, EIRCannotWriteValue>));
    EXPECT_TRUE((std::is_base_of_v<ENIL, IENetList>));
}

TEST(Exceptions, NetworkMessageCarriesErrorHostAndResponse) {
    HookGuard guard;
    SetNetErrorTextHook([](uint32_t code) { return "code " + std::to_string(code); });
    SetNetErrorContextHook([] { return TNetErrorContext{"ftp.example.test", "550 No such file"}; });
    SetLastSystemError(12003);
    ENIL_FTPOpenFile e("Could not open %s", {"a.zip"});
    EXPECT_EQ(e.Message(), "Could not open a.zip. Error message code 12003. Server ftp.example.test. "
                           "Response from server 550 No such file");
    SetNetErrorContextHook(nullptr);
    SetLastSystemError(2);
    EXPECT_EQ(ENIL_ReadFile("x").Message(), "x. Error message code 2. Server . Response from server ");
}
