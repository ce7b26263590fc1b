# cmake -DVERSION_FILE=<installed VelkorConfigVersion.cmake> -DVERSION=<x.y.z> -P package_versions.cmake
# Which requested versions the installed package accepts: any of the same major version up to its
# own. The file is asked the way find_package asks it.
set(cases
  "${VERSION}|TRUE"
  "1.0|TRUE"
  "1|TRUE"
  "0.9|FALSE"
  "2.0|FALSE"
  "${VERSION}.1|FALSE")
set(failed FALSE)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 wanted)
  list(GET case 1 expected)
  string(REPLACE "." ";" parts "${wanted}")
  list(LENGTH parts PACKAGE_FIND_VERSION_COUNT)
  list(APPEND parts 0 0 0 0)
  list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
  list(GET parts 1 PACKAGE_FIND_VERSION_MINOR)
  list(GET parts 2 PACKAGE_FIND_VERSION_PATCH)
  list(GET parts 3 PACKAGE_FIND_VERSION_TWEAK)
  set(PACKAGE_FIND_VERSION "${wanted}")
  set(PACKAGE_FIND_NAME Velkor)
  unset(PACKAGE_VERSION_COMPATIBLE)
  unset(PACKAGE_VERSION)
  include("${VERSION_FILE}")
  if(NOT PACKAGE_VERSION STREQUAL VERSION)
    message(SEND_ERROR "the version file says ${PACKAGE_VERSION}, the build ${VERSION}")
    set(failed TRUE)
  endif()
  if(PACKAGE_VERSION_COMPATIBLE)
    set(got TRUE)
  else()
    set(got FALSE)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "asked for ${wanted}: compatible ${got}, expected ${expected}")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the package's version file answers wrongly")
endif()
