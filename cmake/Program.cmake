# qfd_program(name SOURCES ... LIBS ... DESCRIPTION "..." [LEVEL requireAdministrator|asInvoker] [CONSOLE] [RC ...])
# A Windows program of the product: static, with a manifest (common controls 6,
# supported Windows versions, execution level) and a version resource.
set(QFD_VERSION_MAJOR 2)
set(QFD_VERSION_MINOR 1)
set(QFD_VERSION_PATCH 0)
set(QFD_VERSION_BUILD 0)
set(QFD_PROGRAM_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/program)

function(qfd_program name)
    cmake_parse_arguments(P "CONSOLE" "DESCRIPTION;LEVEL" "SOURCES;LIBS;RC" ${ARGN})
    if(NOT P_LEVEL)
        set(P_LEVEL asInvoker)
    endif()
    set(QFD_PROGRAM_NAME ${name})
    set(QFD_PROGRAM_DESCRIPTION "${P_DESCRIPTION}")
    set(QFD_EXECUTION_LEVEL ${P_LEVEL})
    # The program's own identity names its processor: Windows' side-by-side
    # loader checks it against the program.
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(QFD_PROCESSOR_ARCHITECTURE amd64)
    else()
        set(QFD_PROCESSOR_ARCHITECTURE x86)
    endif()
    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${name}_program)
    configure_file(${QFD_PROGRAM_TEMPLATES}/program.manifest.in ${gen}/${name}.manifest @ONLY)
    configure_file(${QFD_PROGRAM_TEMPLATES}/program.rc.in ${gen}/${name}_program.rc @ONLY)
    # The resource compiler does not report the manifest it reads.
    set_source_files_properties(${gen}/${name}_program.rc PROPERTIES OBJECT_DEPENDS ${gen}/${name}.manifest)
    add_executable(${name} ${P_SOURCES} ${P_RC} ${gen}/${name}_program.rc)
    target_link_libraries(${name} PRIVATE ${P_LIBS})
    if(NOT P_CONSOLE)
        target_link_options(${name} PRIVATE -mwindows)
    endif()
    # Shipped programs carry no symbols: they travel on disks and downloads.
    target_link_options(${name} PRIVATE -s)
endfunction()
