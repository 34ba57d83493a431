# SPDX-License-Identifier: BSD-3-Clause
# What `cmake --install` and the Debian package put where: the programs, each with its
# manual page, and the libraries with their header, pkg-config file and CMake package.
#
# A program joins the package with one line beside its add_executable:
#     tessary_program(tessary-run TARGET tessary-run SUMMARY "run command queues ...")
# which installs it, makes its manual page from its --help and registers the option tests
# (tests/packaging/options_test.sh). The program links tessary_version and keeps to the
# house conventions that the tests check: --help prints "Usage: NAME ..." first, its
# options and an "Examples:" section to stdout; --version prints "NAME (Tessary) VERSION"
# (TESSARY_VERSION); an unknown option prints a line naming it and "Usage: NAME ..." to
# stderr, with status 2. packaging/man/NAME.h2m may add sections ([SEE ALSO], [FILES]).

# Libraries go into Debian's multiarch folder under any prefix (/usr/local/lib/<triplet> is
# on the loader's and pkg-config's paths as well), so the package and a plain install agree.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CMAKE_INSTALL_LIBDIR)
    set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH
        "Object code libraries (lib/<multiarch triplet> on Debian)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

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
        # Installed under any prefix, the program finds our libraries by a run path relative
        # to itself, so a tree under /opt or a home folder needs no LD_LIBRARY_PATH.
        set_target_properties(${arg_TARGET} PROPERTIES
            INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
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
        COMMAND sed -i -f ${PROJECT_SOURCE_DIR}/cmake/man_examples.sed ${page}
        COMMAND gzip -9nf ${page}
        DEPENDS ${arg_DEPENDS} ${PROJECT_SOURCE_DIR}/cmake/man_examples.sed
        COMMENT "Manual page ${name}.1"
        VERBATIM)
    add_custom_target(${name}_manpage ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# tessary_library(TARGET PACKAGE Name DESCRIPTION "one line" HEADER file)
# Installs the shared library with its development link, its public header under include/,
# NAME.pc for pkg-config (the target's name) and a CMake package giving Name::target.
# Both files find the prefix from where they lie, so the tree can be moved.
function(tessary_library target)
    cmake_parse_arguments(arg "" "PACKAGE;DESCRIPTION;HEADER" "" ${ARGN})
    set_target_properties(${target} PROPERTIES PUBLIC_HEADER ${arg_HEADER})
    install(TARGETS ${target} EXPORT ${arg_PACKAGE}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

    set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${arg_PACKAGE})
    set(out ${PROJECT_BINARY_DIR}/packages/${arg_PACKAGE})
    install(EXPORT ${arg_PACKAGE}Targets NAMESPACE ${arg_PACKAGE}:: DESTINATION ${cmake_dir})
    set(PACKAGE ${arg_PACKAGE})
    set(TARGET ${target})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/LibraryConfig.cmake.in
        ${out}/${arg_PACKAGE}Config.cmake @ONLY)
    write_basic_package_version_file(${out}/${arg_PACKAGE}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${out}/${arg_PACKAGE}Config.cmake ${out}/${arg_PACKAGE}ConfigVersion.cmake
        DESTINATION ${cmake_dir})

    set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    file(RELATIVE_PATH PC_PREFIX /prefix/${pc_dir} /prefix)
    string(REGEX REPLACE "/$" "" PC_PREFIX ${PC_PREFIX})
    set(DESCRIPTION ${arg_DESCRIPTION})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/library.pc.in ${out}/${target}.pc @ONLY)
    install(FILES ${out}/${target}.pc DESTINATION ${pc_dir})
endfunction()

# Called once at the end of the top-level list, after every program's install rule: under
# /usr (the Debian package among them) the loader's own paths serve, and a run path there is
# one lintian rightly refuses, so it comes off again.
function(tessary_strip_system_run_paths)
    get_property(programs GLOBAL PROPERTY TESSARY_PROGRAMS)
    install(CODE "
        if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
            foreach(program ${programs})
                set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
                file(READ \"\${file}\" magic LIMIT 4 HEX)
                if(magic STREQUAL \"7f454c46\")
                    file(RPATH_REMOVE FILE \"\${file}\")
                endif()
            endforeach()
        endif()")
endfunction()
