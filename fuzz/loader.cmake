qfd_fuzz(fuzz_extraction_info SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_extraction_info.cpp LIBS qfd_archive)
