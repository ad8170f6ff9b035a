qfd_fuzz(fuzz_remote_filelist SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_remote_filelist.cpp LIBS qfd_engine_core)
