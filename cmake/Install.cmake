# What `cmake --install` puts where: the programs, each with its manual page.
#
# A program joins the package with one line beside its add_executable:
#     tessary_program(tessary-run TARGET tessary-run SUMMARY "run command queues ...")
# which installs it, makes its manual page from its --help and registers the option tests
# (tests/packaging/options_test.sh). The program links tessary_version and keeps to the
# house conventions that the tests check: --help prints "Usage: NAME ..." first, its
# options and an "Examples:" section to stdout; --version prints "NAME (Tessary) VERSION"
# (TESSARY_VERSION); an unknown option prints a line naming it and "Usage: NAME ..." to
# stderr, with status 2. packaging/man/NAME.h2m may add sections ([SEE ALSO], [FILES]).

include(GNUInstallDirs)

configure_file(${CMAKE_CURRENT_LIST_DIR}/tessary_version.h.in
    ${PROJECT_BINARY_DIR}/generated/tessary_version.h @ONLY)
add_library(tessary_version INTERFACE)
target_include_directories(tessary_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# Nothing is installed from a sanitized tree, so it makes no manual pages.
if(TESSARY_SANITIZE)
    set(TESSARY_MANPAGES OFF)
else()
    set(TESSARY_MANPAGES ON)
    find_program(HELP2MAN help2man)
    if(NOT HELP2MAN)
        message(FATAL_ERROR "help2man makes the manual pages: apt install help2man")
    endif()
endif()

# tessary_program(NAME SUMMARY "one line" TARGET target | SCRIPT file [DEPENDS target...])
# Installs the program into bin/ under NAME with its manual page NAME.1 (help2man runs
# `NAME --help` and `NAME --version`; packaging/man/NAME.h2m, when present, adds sections).
# A script is linked into the build folder under NAME, so that it names itself rightly.
function(tessary_program name)
    cmake_parse_arguments(arg "" "SUMMARY;TARGET;SCRIPT" "DEPENDS" ${ARGN})
    if(arg_TARGET)
        install(TARGETS ${arg_TARGET} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        set(command $<TARGET_FILE:${arg_TARGET}>)
        list(APPEND arg_DEPENDS ${arg_TARGET})
    else()
        install(PROGRAMS ${arg_SCRIPT} DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${name})
        set(command ${CMAKE_CURRENT_BINARY_DIR}/${name})
        file(CREATE_LINK ${arg_SCRIPT} ${command} SYMBOLIC)
        list(APPEND arg_DEPENDS ${arg_SCRIPT})
    endif()
    set_property(GLOBAL APPEND PROPERTY TESSARY_PROGRAMS ${name})
    set_property(GLOBAL PROPERTY TESSARY_PROGRAM_${name} ${command})
    if(NOT TESSARY_MANPAGES)
        return()
    endif()

    set(page ${PROJECT_BINARY_DIR}/man/${name}.1)
    set(include ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
    set(include_option)
    if(EXISTS ${include})
        set(include_option --include=${include})
        list(APPEND arg_DEPENDS ${include})
    endif()
    # Without a display and with no user settings, so the page is the same everywhere.
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY LC_ALL=C.UTF-8
            ${HELP2MAN} --no-info --name=${arg_SUMMARY}
            ${include_option} --output=${page} ${command}
        COMMAND gzip -9nf ${page}
        DEPENDS ${arg_DEPENDS}
        COMMENT "Manual page ${name}.1"
        VERBATIM)
    add_custom_target(${name}_manpage ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
