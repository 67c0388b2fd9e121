# One target per source folder ("layer"), linking only the layers below it:
#   host <- common <- scrub <- logselect <- {bundle, diag, delivery} <- collector <- service
# Each layer compiles into an object library with hidden visibility. Outside sanitizer
# builds, every layer is also linked on its own into a throw-away shared object together
# with the layers below it, with --no-undefined: a call from a layer into a higher one then
# fails to link. libsendlogs.so and libsendlogs_core.a are assembled from all the layers.

set_property(GLOBAL PROPERTY SENDLOGS_LAYERS "")

# sendlogs_layer(NAME [DEPENDS layer...] [LIBS third-party...])
function(sendlogs_layer name)
  cmake_parse_arguments(L "" "" "DEPENDS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(target sendlogs_${name})
  add_library(${target} OBJECT ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE ${SENDLOGS_WARNINGS})
  target_compile_definitions(${target} PRIVATE SENDLOGS_BUILDING_LIBRARY=1)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)

  set(below "")
  foreach(dep ${L_DEPENDS})
    if(NOT TARGET sendlogs_${dep})
      message(FATAL_ERROR "layer ${name} depends on ${dep}, which is not defined below it")
    endif()
    target_link_libraries(${target} PUBLIC sendlogs_${dep})
    get_property(dep_below GLOBAL PROPERTY SENDLOGS_BELOW_${dep})
    list(APPEND below ${dep} ${dep_below})
  endforeach()
  target_link_libraries(${target} PUBLIC ${L_LIBS})
  list(REMOVE_DUPLICATES below)
  set_property(GLOBAL PROPERTY SENDLOGS_BELOW_${name} "${below}")
  set_property(GLOBAL APPEND PROPERTY SENDLOGS_LAYERS ${name})

  if(NOT SENDLOGS_SANITIZE)
    set(below_objects "")
    foreach(dep ${below})
      list(APPEND below_objects $<TARGET_OBJECTS:sendlogs_${dep}>)
    endforeach()
    add_library(${target}_linkcheck SHARED ${below_objects})
    target_link_libraries(${target}_linkcheck PRIVATE ${target})
    target_link_options(${target}_linkcheck PRIVATE -Wl,--no-undefined)
    set_target_properties(${target}_linkcheck PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layercheck)
  endif()
endfunction()

# The objects of every layer, for the assembled libraries.
function(sendlogs_all_layer_objects out)
  get_property(layers GLOBAL PROPERTY SENDLOGS_LAYERS)
  set(objects "")
  foreach(layer ${layers})
    list(APPEND objects $<TARGET_OBJECTS:sendlogs_${layer}>)
  endforeach()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()
