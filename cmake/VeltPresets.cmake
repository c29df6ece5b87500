# What a build takes from the builds of the other presets: the stub of the
# other architecture (the builder carries both), and for the Windows tests
# the native builder. Each of them is made in its own preset's build
# (build/<preset>), and a build that needs one makes it there, so that any
# preset can be the first one built and nothing is built twice.
#
#   velt_from_preset(NAME PATH TARGET)
#     When PATH lies in another preset's build (<source>/build/<preset>/...),
#     a target NAME that configures that build when it has never been
#     configured and builds its TARGET (cmake/build-in-preset.cmake); else
#     (a file given by hand, or this build's own) NAME does nothing.
#
# These targets run one at a time in the order they were declared: two of
# them must not build in the same directory at once.

function(velt_from_preset name path target)
  set(root "${CMAKE_SOURCE_DIR}/build/")
  string(FIND "${path}" "${root}" at)
  set(preset "")
  if(at EQUAL 0)
    string(LENGTH "${root}" length)
    string(SUBSTRING "${path}" ${length} -1 rest)
    string(REGEX REPLACE "/.*" "" preset "${rest}")
  endif()
  if(preset STREQUAL "" OR "${root}${preset}" STREQUAL CMAKE_BINARY_DIR)
    add_custom_target(${name})
    return()
  endif()
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DPRESET=${preset}
            -DTARGET=${target} -DCALLER=${CMAKE_BINARY_DIR}
            -P ${CMAKE_SOURCE_DIR}/cmake/build-in-preset.cmake
    COMMENT "Building ${target} in build/${preset}"
    USES_TERMINAL VERBATIM)
  get_property(previous GLOBAL PROPERTY VELT_FROM_PRESET_LAST)
  if(previous)
    add_dependencies(${name} ${previous})
  endif()
  set_property(GLOBAL PROPERTY VELT_FROM_PRESET_LAST ${name})
endfunction()
