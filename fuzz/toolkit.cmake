qfd_fuzz(fuzz_layout SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_layout.cpp LIBS qfd_toolkit_core)
target_include_directories(fuzz_layout PRIVATE ${CMAKE_SOURCE_DIR}/tests)
