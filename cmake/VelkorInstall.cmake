# What `cmake --install` puts under the prefix: the library with its SONAME, the public headers,
# the three programs, the example scenes, the README and docs/; then the files another project
# finds the library by (a CMake package and velkor.pc). Test and benchmark targets are not
# installed.
#
# Every installed path is relative to the prefix, so an installed tree can be moved as a whole
# (`cmake --install --prefix`, a package's own prefix, or a copied folder) and still be found.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  message(FATAL_ERROR "CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_BINDIR must be relative to the prefix, "
                      "so the installed tree can be moved")
endif()

# The soname carries the major version: an engine interface that changes its slots is a new one.
set_target_properties(velkor PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                        EXPORT_NAME velkor)

# The public header alone, for a host that loads the library with the dynamic loader and only
# needs its types; Velkor::velkor adds the library to link.
add_library(velkor_headers INTERFACE)
set_target_properties(velkor_headers PROPERTIES EXPORT_NAME headers)
target_include_directories(velkor_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(velkor_headers INTERFACE cxx_std_11)
target_link_libraries(velkor PUBLIC velkor_headers)

install(TARGETS velkor velkor_headers EXPORT VelkorTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/velkor/velkor.h ${PROJECT_SOURCE_DIR}/include/velkor/host.h
              ${PROJECT_SOURCE_DIR}/include/velkor/types.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velkor)

# The host looks for the library beside itself, then through the loader's path; installed, the
# library sits in the library folder next to the program folder. The build's program carries the
# same path (it finds the build's library beside itself first): a build path padded for a later
# rewrite would be empty entries, which the loader reads as the working directory.
file(RELATIVE_PATH VELKOR_BIN_TO_LIB "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
set_target_properties(velkor-host PROPERTIES INSTALL_RPATH "$ORIGIN/${VELKOR_BIN_TO_LIB}" BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS velkor-host velkor_ui rovanta RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velkor/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkor)
# The README links to docs/: the pages go beside it, so the links hold in the installed tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkor/docs)

# find_package(Velkor): Velkor::velkor and Velkor::headers.
set(VELKOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velkor)
install(EXPORT VelkorTargets NAMESPACE Velkor:: DESTINATION ${VELKOR_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelkorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/VelkorConfig.cmake INSTALL_DESTINATION ${VELKOR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/VelkorConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/VelkorConfig.cmake
              ${PROJECT_BINARY_DIR}/package/VelkorConfigVersion.cmake
        DESTINATION ${VELKOR_CMAKE_DIR})

# velkor.pc names its prefix from where it lies (${pcfiledir}), not from where it was installed.
file(RELATIVE_PATH VELKOR_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" VELKOR_PC_TO_PREFIX "${VELKOR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/velkor.pc.in ${PROJECT_BINARY_DIR}/package/velkor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/velkor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
