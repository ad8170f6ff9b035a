// Feeds arbitrary text to the stored-layout reader: it must either build the
// tree or raise its error, never crash, hang or allocate without bound.
#include "toolkit/classes_Reader.h"
#include "unit/toolkit/TestClasses.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool registered = (RegisterTestClasses(), true);
    (void)registered;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        TOwnedPtr<TComponent> root(CreateFromLayout(text));
    } catch (const Exception&) {
    }
    try {
        ParseStoredValue(text);
    } catch (const Exception&) {
    }
    return 0;
}
