cmake_minimum_required(VERSION 3.24)
# Lists what the built Lua runtime calls outside itself and fails on anything that is neither a
# sandbox replacement nor on the list below: a runtime that calls fopen, system, dlopen, getenv
# or any other function reaching files, processes, the environment or native libraries directly
# would let a script past the sandbox.
#   cmake -DNM=<nm> -DARCHIVE=<libvelkor_luajit.a> -P check_runtime_symbols.cmake

# What the runtime may call directly: arithmetic, memory and text helpers, its error unwinder,
# the clock and calendar (os.clock, os.time, os.date), its own memory mapping, and the seeding of
# its hash randomisation, which reads /dev/urandom (open64, read, close) or asks getrandom
# (syscall) with a fixed path no script can change.
set(allowed
  _GLOBAL_OFFSET_TABLE_ __tls_get_addr __errno_location
  _Unwind_DeleteException _Unwind_GetCFA _Unwind_RaiseException _Unwind_SetGR _Unwind_SetIP
  acos asin atan atan2 cos cosh exp fmod frexp ldexp log log10 log2 modf pow sin sinh tan tanh
  memchr memcmp memcpy memmove memset strchr strcmp strcpy strerror strlen strncpy strrchr strstr strtoul
  clock difftime gmtime_r localtime_r mktime strftime time
  mmap64 mremap munmap
  open64 read close syscall
  stdin stdout stderr)

execute_process(COMMAND "${NM}" -u "${ARCHIVE}" OUTPUT_VARIABLE undefined_text RESULT_VARIABLE failed_undefined)
execute_process(COMMAND "${NM}" --defined-only "${ARCHIVE}" OUTPUT_VARIABLE defined_text RESULT_VARIABLE failed_defined)
if(failed_undefined OR failed_defined)
  message(FATAL_ERROR "nm could not read ${ARCHIVE}")
endif()

string(REGEX MATCHALL "[ \t]U [^\n]+" undefined_lines "${undefined_text}")
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" defined_lines "${defined_text}")
set(defined)
foreach(line IN LISTS defined_lines)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
  list(APPEND defined "${name}")
endforeach()

set(outside)
set(replacements 0)
foreach(line IN LISTS undefined_lines)
  string(REGEX REPLACE "^[ \t]+U " "" name "${line}")
  if(name IN_LIST defined OR name IN_LIST outside)
    continue()
  endif()
  list(APPEND outside "${name}")
  if(name MATCHES "^sandbox_")
    math(EXPR replacements "${replacements} + 1")
  elseif(NOT name IN_LIST allowed)
    list(APPEND refused "${name}")
  endif()
endforeach()

if(refused)
  message(FATAL_ERROR "the Lua runtime calls outside the sandbox: ${refused}")
endif()
# fopen, fread, system, exit, getenv, dlopen and the rest: far more than a handful.
if(replacements LESS 20)
  message(FATAL_ERROR "only ${replacements} sandbox replacements are called: was the runtime renamed?")
endif()
message(STATUS "the Lua runtime calls ${replacements} sandbox replacements and nothing else outside the list")
