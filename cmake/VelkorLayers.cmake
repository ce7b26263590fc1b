# The folders of src/ are layers (README.md, "Where things are"): each is a static library that
# links only layers below it and sees only their headers, so an include of a layer above does not
# build.
#
# A source includes a header by its folder ("object/bobject.h"), so every layer compiles against
# an include root of its own below the build directory: one forwarding header for each header of
# the layer and of the layers under it, and nothing else. ("lua" is one layer and "lua/binding"
# another: a single root holding the src/ folders themselves could not keep them apart.)
#
# velkor_layer(<name> [BELOW <layer>...] SOURCES <file>...)
#   Defines velkor_<name> from the sources of the calling folder (the .h files among them are its
#   headers) on top of the layers named in BELOW, which it links publicly.
function(velkor_layer name)
  cmake_parse_arguments(L "" "" "BELOW;SOURCES" ${ARGN})
  file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}")

  set(view)
  foreach(source IN LISTS L_SOURCES)
    if(source MATCHES "\\.h$")
      list(APPEND view "${folder}/${source}")
    endif()
  endforeach()
  foreach(lower IN LISTS L_BELOW)
    get_property(defined GLOBAL PROPERTY VELKOR_LAYER_VIEW_${lower} DEFINED)
    if(NOT defined)
      message(FATAL_ERROR "layer ${name}: ${lower} is not a layer defined before it")
    endif()
    get_property(lowerView GLOBAL PROPERTY VELKOR_LAYER_VIEW_${lower})
    list(APPEND view ${lowerView})
  endforeach()
  list(REMOVE_DUPLICATES view)
  define_property(GLOBAL PROPERTY VELKOR_LAYER_VIEW_${name} BRIEF_DOCS "headers a layer sees" FULL_DOCS "-")
  set_property(GLOBAL PROPERTY VELKOR_LAYER_VIEW_${name} ${view})

  # Written only when they change, so a new configure does not rebuild everything; a header no
  # longer in view loses its forwarder.
  set(root "${PROJECT_BINARY_DIR}/layers/${name}")
  file(GLOB_RECURSE present RELATIVE "${root}" "${root}/*.h")
  foreach(header IN LISTS present)
    if(NOT header IN_LIST view)
      file(REMOVE "${root}/${header}")
    endif()
  endforeach()
  foreach(header IN LISTS view)
    file(CONFIGURE OUTPUT "${root}/${header}"
         CONTENT "// The ${name} layer's view of src/${header}.\n#include \"${PROJECT_SOURCE_DIR}/src/${header}\"\n")
  endforeach()

  add_library(velkor_${name} STATIC ${L_SOURCES})
  target_include_directories(velkor_${name} PUBLIC "${root}" "${PROJECT_SOURCE_DIR}/include")
  list(TRANSFORM L_BELOW PREPEND velkor_)
  target_link_libraries(velkor_${name} PUBLIC ${L_BELOW})
  target_compile_definitions(velkor_${name} PUBLIC VELKOR_BUILDING_LIBRARY)
  set_target_properties(velkor_${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  set_property(GLOBAL APPEND PROPERTY VELKOR_LAYERS ${name})
endfunction()
