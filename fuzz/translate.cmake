qfd_fuzz(fuzz_language SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_language.cpp LIBS qfd_translate_core)
