# The Lua runtime the library links: LuaJIT built here from Debian's source package (fetched by
# scripts/fetch_luajit.sh into build-deps/luajit) and LuaSocket's static core from Debian's
# lua-socket-dev.
#
# LuaJIT is built once per build directory with its own Makefile: static, position-independent
# (it goes into libvelkor.so), without the FFI, without the trace compiler (a count hook never
# fires inside a compiled trace, so the time budget could not stop a compiled loop), without the
# profiler (it would arm process-wide timer signals), without jit.util and without the VM
# events jit.attach would hand to a script. Its C runtime calls
# that reach files, streams, processes, the environment, the locale or native libraries are then
# renamed to the sandbox's replacements (src/lua/bsandbox_runtime_symbols.txt), so no path inside
# the runtime can reach the C library's own. The replacements are plain library symbols, hidden
# in libvelkor.so: nothing else in the process is redirected.

set(VELKOR_LUAJIT_SOURCE "${CMAKE_SOURCE_DIR}/build-deps/luajit" CACHE PATH
    "LuaJIT source tree (scripts/fetch_luajit.sh fetches it)")
if(NOT EXISTS "${VELKOR_LUAJIT_SOURCE}/src/Makefile" OR NOT EXISTS "${VELKOR_LUAJIT_SOURCE}/src/luajit.h")
  message(FATAL_ERROR "LuaJIT's source is missing in ${VELKOR_LUAJIT_SOURCE}: "
                      "run scripts/fetch_luajit.sh (scripts/test.sh and scripts/demo.sh run it)")
endif()

set(VELKOR_LUAJIT_DIR "${CMAKE_BINARY_DIR}/luajit")
set(VELKOR_LUAJIT_ARCHIVE "${VELKOR_LUAJIT_DIR}/libvelkor_luajit.a")
set(VELKOR_LUAJIT_SYMBOLS "${CMAKE_SOURCE_DIR}/src/lua/bsandbox_runtime_symbols.txt")

# The headers are copied at configure time, so sources see them before the runtime is built.
file(MAKE_DIRECTORY "${VELKOR_LUAJIT_DIR}/include/luajit-2.1")
foreach(header lua.h luaconf.h lauxlib.h lualib.h luajit.h lua.hpp)
  configure_file("${VELKOR_LUAJIT_SOURCE}/src/${header}" "${VELKOR_LUAJIT_DIR}/include/luajit-2.1/${header}" COPYONLY)
endforeach()

set(VELKOR_LUAJIT_OPTIONS
    -DLUAJIT_DISABLE_FFI -DLUAJIT_DISABLE_JIT -DLUAJIT_DISABLE_PROFILE -DLUAJIT_DISABLE_JITUTIL
    -DLUAJIT_DISABLE_VMEVENT)
list(JOIN VELKOR_LUAJIT_OPTIONS " " VELKOR_LUAJIT_XCFLAGS)
if(CMAKE_GENERATOR MATCHES "Makefiles")
  set(VELKOR_LUAJIT_MAKE "$(MAKE)")
else()
  set(VELKOR_LUAJIT_MAKE make -j4)
endif()
# The sanitizer flags of the rest are not passed: the runtime's interpreter is assembly and its
# C parts are tested upstream; the library's code around it is what the sanitizer builds check.
add_custom_command(
  OUTPUT "${VELKOR_LUAJIT_ARCHIVE}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${VELKOR_LUAJIT_DIR}/tree"
  COMMAND "${CMAKE_COMMAND}" -E copy_directory "${VELKOR_LUAJIT_SOURCE}/src" "${VELKOR_LUAJIT_DIR}/tree/src"
  COMMAND "${CMAKE_COMMAND}" -E copy_directory "${VELKOR_LUAJIT_SOURCE}/dynasm" "${VELKOR_LUAJIT_DIR}/tree/dynasm"
  COMMAND ${VELKOR_LUAJIT_MAKE} -s -C "${VELKOR_LUAJIT_DIR}/tree/src" libluajit.a BUILDMODE=static
          "CC=${CMAKE_C_COMPILER}" CFLAGS=-fPIC "XCFLAGS=${VELKOR_LUAJIT_XCFLAGS}" CCWARN= Q= "E=@:"
  COMMAND "${CMAKE_OBJCOPY}" "--redefine-syms=${VELKOR_LUAJIT_SYMBOLS}"
          "${VELKOR_LUAJIT_DIR}/tree/src/libluajit.a" "${VELKOR_LUAJIT_ARCHIVE}"
  DEPENDS "${VELKOR_LUAJIT_SOURCE}/.velkor-source-version" "${VELKOR_LUAJIT_SYMBOLS}"
  COMMENT "Building LuaJIT for the sandbox"
  VERBATIM)
add_custom_target(velkor_luajit_build DEPENDS "${VELKOR_LUAJIT_ARCHIVE}")

add_library(velkor_luajit STATIC IMPORTED GLOBAL)
set_target_properties(velkor_luajit PROPERTIES
  IMPORTED_LOCATION "${VELKOR_LUAJIT_ARCHIVE}"
  INTERFACE_INCLUDE_DIRECTORIES "${VELKOR_LUAJIT_DIR}/include"
  INTERFACE_LINK_LIBRARIES m)
add_dependencies(velkor_luajit velkor_luajit_build)

# Debian's static socket core holds position-independent objects; its lua_* calls bind to the
# runtime above at link time. Its waits (poll, select, nanosleep) are renamed to the sandbox's,
# which wait at most what is left of the running script call (src/lua/bsandbox_waits.h).
find_library(VELKOR_LUASOCKET_ARCHIVE NAMES liblua5.1-socket.a REQUIRED
             DOC "LuaSocket's static core (Debian package lua-socket-dev)")
set(VELKOR_LUASOCKET_BOUNDED "${VELKOR_LUAJIT_DIR}/libvelkor_luasocket.a")
set(VELKOR_LUASOCKET_SYMBOLS "${CMAKE_SOURCE_DIR}/src/lua/bsocket_wait_symbols.txt")
add_custom_command(
  OUTPUT "${VELKOR_LUASOCKET_BOUNDED}"
  COMMAND "${CMAKE_OBJCOPY}" "--redefine-syms=${VELKOR_LUASOCKET_SYMBOLS}"
          "${VELKOR_LUASOCKET_ARCHIVE}" "${VELKOR_LUASOCKET_BOUNDED}"
  DEPENDS "${VELKOR_LUASOCKET_ARCHIVE}" "${VELKOR_LUASOCKET_SYMBOLS}"
  COMMENT "Bounding the socket library's waits"
  VERBATIM)
add_custom_target(velkor_luasocket_build DEPENDS "${VELKOR_LUASOCKET_BOUNDED}")
add_library(velkor_luasocket STATIC IMPORTED GLOBAL)
set_target_properties(velkor_luasocket PROPERTIES
  IMPORTED_LOCATION "${VELKOR_LUASOCKET_BOUNDED}"
  INTERFACE_LINK_LIBRARIES velkor_luajit)
add_dependencies(velkor_luasocket velkor_luasocket_build)
