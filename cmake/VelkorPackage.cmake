# `cpack -G DEB` in the build folder: velkor_<version>_<arch>.deb with what `cmake --install`
# installs, under /usr.
#
# The runtime dependencies are read from the binaries by dpkg-shlibdeps: the library links LuaJIT
# and LuaSocket in statically and needs only the C and C++ runtimes; velkor-host adds cairo,
# fontconfig and tinyobjloader, Rovanta xxHash.
set(VELKOR_PACKAGE_MAINTAINER "Velkor maintainers <maintainers@users.noreply.c-seed-c2718277.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velkor")
set(CPACK_PACKAGE_CONTACT "${VELKOR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "soft-body vehicle physics library with its reference host")
set(CPACK_PACKAGE_DESCRIPTION
    "libvelkor simulates vehicles as nodes joined by spring-damper beams,
stepped at 0.0005 s on worker threads and built and scripted in embedded Lua.
The package holds the library, its public headers with a CMake package and a
pkg-config file, the reference host velkor-host with example scenes, the UI
sub-process Velkor.ui and the launcher Rovanta.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELKOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file and the ldconfig trigger, so the loader's cache learns the library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The debug pictures of velkor-host write their labels in this face; without it fontconfig picks
# another one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)

include(CPack)
