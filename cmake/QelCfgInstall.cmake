# Install rules: the shared library with its SONAME, the public headers under
# include/Qel_CfgFile, qelcfg and its manual page, and the package files through which
# other projects find the library (CMake's find_package and pkg-config).
option(QELCFG_INSTALL "Generate the install rules" ${QELCFG_TOP_LEVEL})
if(NOT QELCFG_INSTALL)
    return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QELCFG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Qel_CfgFile)

# Both spellings work for an installed consumer: <Qel_CfgFile/IniFile.h>, and "IniFile.h"
# as the headers include one another.
target_include_directories(Qel_CfgFile PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The header list names files of the library's own directory; install() reads relative
# names from here, so they are made absolute.
get_target_property(QELCFG_HEADERS Qel_CfgFile PUBLIC_HEADER)
get_target_property(QELCFG_LIBRARY_DIR Qel_CfgFile SOURCE_DIR)
list(TRANSFORM QELCFG_HEADERS PREPEND ${QELCFG_LIBRARY_DIR}/ REGEX "^[^/]")
set_target_properties(Qel_CfgFile PROPERTIES PUBLIC_HEADER "${QELCFG_HEADERS}")

install(TARGETS Qel_CfgFile EXPORT Qel_CfgFileTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/Qel_CfgFile)
install(EXPORT Qel_CfgFileTargets
    NAMESPACE Qel_CfgFile::
    DESTINATION ${QELCFG_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/Qel_CfgFileConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFileConfig.cmake
    INSTALL_DESTINATION ${QELCFG_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFileConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFileConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFileConfigVersion.cmake
    DESTINATION ${QELCFG_CMAKE_DIR})

# The prefix is found from where the .pc file lies, so that an install with
# "cmake --install --prefix" elsewhere than configured still describes itself.
file(RELATIVE_PATH QELCFG_PC_TO_PREFIX
    ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QELCFG_PC_TO_PREFIX "${QELCFG_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/Qel_CfgFile.pc.in
    ${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFile.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Qel_CfgFile.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET qelcfg)
    # The tool finds the library installed beside it, wherever the prefix is.
    file(RELATIVE_PATH QELCFG_BIN_TO_LIB
        ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(qelcfg PROPERTIES INSTALL_RPATH "$ORIGIN/${QELCFG_BIN_TO_LIB}")
    install(TARGETS qelcfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/tools/qelcfg/qelcfg.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
