qfd_fuzz(fuzz_command_line SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_command_line.cpp LIBS qfd_platform_core qfd_uninstall_text)
qfd_fuzz(fuzz_code_sign SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_code_sign.cpp LIBS qfd_platform_core)
