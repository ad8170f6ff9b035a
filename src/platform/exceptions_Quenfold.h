// The exception tree of the framework. Every failure is an exception whose
// class names the component family and whose message is a complete sentence.
#pragma once
#include "routines_Format.h"
#include <exception>
#include <functional>
#include <string>

// The run-time library's base exception: a message and a help context.
class Exception : public std::exception {
public:
    explicit Exception(std::string msg) : FMessage(std::move(msg)) {}
    Exception(std::string_view fmt, std::initializer_list<TVarRec> args) : FMessage(Format(fmt, args)) {}
    virtual ~Exception() = default;
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string m) { FMessage = std::move(m); }
    int HelpContext = 0;
    // The class name as the application's error report shows it.
    virtual const char* ClassName() const { return "Exception"; }

private:
    std::string FMessage;
};

#define QFD_EXCEPTION(Name, Parent)                                                                          \
    class Name : public Parent {                                                                             \
    public:                                                                                                  \
        using Parent::Parent;                                                                                \
        const char* ClassName() const override { return #Name; }                                             \
    };

// The silent exception: ends an operation without a message.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
    const char* ClassName() const override { return "EAbort"; }
};

// Run-time library failures the framework raises itself.
QFD_EXCEPTION(EConvertError, Exception)
QFD_EXCEPTION(EInOutError, Exception)
QFD_EXCEPTION(EStreamError, Exception)
QFD_EXCEPTION(EFOpenError, EStreamError)
QFD_EXCEPTION(EFCreateError, EStreamError)
QFD_EXCEPTION(EReadError, EStreamError)
QFD_EXCEPTION(EWriteError, EStreamError)
QFD_EXCEPTION(EOSError, Exception)
QFD_EXCEPTION(EResNotFound, Exception)
QFD_EXCEPTION(EInvalidOperation, Exception)

// Installation ended by a decision of the user.
QFD_EXCEPTION(EAI, Exception)
class EAIUserAbort : public EAI {
public:
    EAIUserAbort() : EAI("Installation aborted by the user") {}
    const char* ClassName() const override { return "EAIUserAbort"; }
};

QFD_EXCEPTION(ECustomQuenfoldAbnormal, Exception)
QFD_EXCEPTION(EQuenfoldAbnormal, ECustomQuenfoldAbnormal)
QFD_EXCEPTION(EQnfdCompress, EQuenfoldAbnormal)
QFD_EXCEPTION(EqcDiskFull, EQnfdCompress)
QFD_EXCEPTION(EqcAborted, EQnfdCompress)
// A member whose data do not inflate to what its header promises. The message
// names the member and says that its data are damaged; Cause keeps what was
// wrong (zlib's own text, the sizes) for the log.
class EqcDamagedMember : public EQnfdCompress {
public:
    EqcDamagedMember(std::string msg, std::string cause)
        : EQnfdCompress(std::move(msg)), FCause(std::move(cause)) {}
    const std::string& Cause() const { return FCause; }
    const char* ClassName() const override { return "EqcDamagedMember"; }

private:
    std::string FCause;
};
QFD_EXCEPTION(EAPIRoutines, EQuenfoldAbnormal)

// Texts of the IException family go through the translator. Until a translator
// is installed, TranslateText returns its argument.
using TTranslateTextHook = std::function<std::string(const std::string&)>;
void SetTranslateTextHook(TTranslateTextHook hook);
std::string TranslateText(const std::string& text);
// Formats the translation of fmt with args. A translation whose placeholders
// do not fit the arguments (a language file's fault, not the program's) gives
// way to the English format, so a message is never lost to EConvertError.
std::string FormatTranslated(const std::string& fmt, std::initializer_list<TVarRec> args);

class IException : public ECustomQuenfoldAbnormal {
public:
    explicit IException(const std::string& msg) : ECustomQuenfoldAbnormal(TranslateText(msg)) {}
    IException(const std::string& fmt, std::initializer_list<TVarRec> args)
        : ECustomQuenfoldAbnormal(FormatTranslated(fmt, args)) {}
    const char* ClassName() const override { return "IException"; }
};

QFD_EXCEPTION(IEInstall, IException)
QFD_EXCEPTION(IEInstallNetLocNil, IEInstall)
QFD_EXCEPTION(IEPathSpecifier, IException)
QFD_EXCEPTION(IEPathSpecifierList, IException)
QFD_EXCEPTION(IEInstallContainer, IException)
QFD_EXCEPTION(IEFileRelated, IException)
QFD_EXCEPTION(IEFileRel_NoNetLocation, IEFileRelated)
QFD_EXCEPTION(IEFileContainer, IException)
QFD_EXCEPTION(IEfcDuplicateFile, IEFileContainer)
QFD_EXCEPTION(IENoQuenfoldPath, IException)
QFD_EXCEPTION(IECustomInstallFile, IException)
QFD_EXCEPTION(IECustomInstallFileList, IException)
QFD_EXCEPTION(IEContainerList, IException)
QFD_EXCEPTION(IEUninstallEXE, IException)
QFD_EXCEPTION(IEFileGroupSelectForm, IException)

// Network failures carry the system's error text, the host being downloaded
// from and the server's last response. The network locations fill these in
// through the hook; without one, host and response are empty.
struct TNetErrorContext {
    std::string Host;
    std::string LastResponse;
};
using TNetErrorContextHook = std::function<TNetErrorContext()>;
void SetNetErrorContextHook(TNetErrorContextHook hook);
// The system's text for a network error code; the network locations install
// their own table of WinInet texts. Without one the system's message is used.
using TNetErrorTextHook = std::function<std::string(uint32_t code)>;
void SetNetErrorTextHook(TNetErrorTextHook hook);
std::string BuildNetErrorMessage(const std::string& msg);

class ENIL : public Exception {
public:
    explicit ENIL(const std::string& msg) : Exception(BuildNetErrorMessage(msg)) {}
    ENIL(const std::string& fmt, std::initializer_list<TVarRec> args)
        : Exception(BuildNetErrorMessage(Format(fmt, args))) {}
    const char* ClassName() const override { return "ENIL"; }
};
QFD_EXCEPTION(ENIL_OpenSession, ENIL)
QFD_EXCEPTION(ENIL_OpenService, ENIL)
QFD_EXCEPTION(ENIL_FailDataQuery, ENIL)
QFD_EXCEPTION(ENIL_ReadFile, ENIL)
QFD_EXCEPTION(ENIL_FileNotFound, ENIL)
QFD_EXCEPTION(ENIL_FTP, ENIL)
QFD_EXCEPTION(ENIL_FTPSetDir, ENIL_FTP)
QFD_EXCEPTION(ENIL_FTPOpenFile, ENIL_FTP)
QFD_EXCEPTION(ENIL_FTPCloseFile, ENIL_FTP)
QFD_EXCEPTION(ENIL_HTTP, ENIL)
QFD_EXCEPTION(ENIL_HTTPOpenFile, ENIL_HTTP)
QFD_EXCEPTION(ENIL_HTTPSendRequest, ENIL_HTTP)
// The server of an HTTPS location did not prove who it is.
QFD_EXCEPTION(ENIL_HTTPSecure, ENIL_HTTPSendRequest)
QFD_EXCEPTION(IENetList, ENIL)
QFD_EXCEPTION(ENIL_WriteDestFile, Exception)
QFD_EXCEPTION(ENIL_FailLoadWININET, Exception)
QFD_EXCEPTION(ENIL_FailLoadDLLProc, Exception)
// A download whose bytes are not those the distribution was built with.
QFD_EXCEPTION(ENIL_NotAuthentic, Exception)

// A failed registry write; derives from the base class and carries only its message.
QFD_EXCEPTION(EIRCannotWriteValue, Exception)
