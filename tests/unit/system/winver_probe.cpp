// Reports WindowsVersion() as its exit code (100 when it raises), so that a
// test can see what a program started under another Windows version gets.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"

int main() {
    try {
        return WindowsVersion();
    } catch (const Exception&) {
        return 100;
    }
}
