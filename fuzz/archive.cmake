qfd_fuzz(fuzz_archive_headers SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_archive_headers.cpp LIBS qfd_archive)
qfd_fuzz(fuzz_archive_extract SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_archive_extract.cpp LIBS qfd_archive)
