# What "cmake --install" puts in place and "cpack -G DEB" packs: the program, the shared
# library with its versioned soname, the public header with the headers it includes, a
# pkg-config file, a CMake package (find_package(sendlogs)), the man page, bash completion,
# the systemd unit of "sendlogs serve" and the example patterns file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(libsendlogs PROPERTIES VERSION ${PROJECT_VERSION}
                                             SOVERSION ${PROJECT_VERSION_MAJOR}
                                             EXPORT_NAME sendlogs)
target_include_directories(libsendlogs INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/sendlogs>)

install(TARGETS sendlogs_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS libsendlogs EXPORT sendlogsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Unspecified)
install(FILES include/sendlogs/sendlogs.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sendlogs)
# With the public header go the library headers it includes, directly or not, and no others.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -x c++ -MM -I${PROJECT_SOURCE_DIR}/include
          -I${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include/sendlogs/sendlogs.h
  OUTPUT_VARIABLE public_deps RESULT_VARIABLE public_deps_result)
if(NOT public_deps_result EQUAL 0)
  message(FATAL_ERROR "cannot list the headers include/sendlogs/sendlogs.h includes")
endif()
string(REGEX MATCHALL "${PROJECT_SOURCE_DIR}/src/[^ \\\n]+\\.h" public_headers "${public_deps}")
list(REMOVE_DUPLICATES public_headers)
foreach(header ${public_headers})
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR}/src ${header})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sendlogs/${folder})
endforeach()

set(SENDLOGS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sendlogs)
install(EXPORT sendlogsTargets NAMESPACE sendlogs:: DESTINATION ${SENDLOGS_CMAKE_DIR})
configure_package_config_file(packaging/sendlogsConfig.cmake.in
  ${CMAKE_BINARY_DIR}/sendlogsConfig.cmake INSTALL_DESTINATION ${SENDLOGS_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/sendlogsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/sendlogsConfig.cmake
  ${CMAKE_BINARY_DIR}/sendlogsConfigVersion.cmake DESTINATION ${SENDLOGS_CMAKE_DIR})

configure_file(packaging/libsendlogs.pc.in ${CMAKE_BINARY_DIR}/libsendlogs.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/libsendlogs.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES docs/sendlogs.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/sendlogs.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sendlogs)
install(FILES packaging/sendlogs-serve.service DESTINATION lib/systemd/system)
install(FILES docs/patterns.md docs/patterns.example.txt
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME sendlogs)
set(CPACK_PACKAGE_VENDOR "sendlogs developers")
set(CPACK_PACKAGE_CONTACT "sendlogs developers <sendlogs@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Collects, masks and bundles product logs and system diagnostics on request")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The commands the library runs to collect and pack.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tar, gzip, bzip2, coreutils, findutils, procps")
set(CPACK_STRIP_FILES ON)
include(CPack)
