# The stub's code in layers, one library per folder, each using only the
# folders below it:
#
#   core <- system <- ui <- product <- install, uninstall <- launcher
#   core <- archive <- product, and the builder
#
# core is the foundation (strings, containers, files); archive is the
# installer's format, shared with the builder; the rest are the stub's:
# product holds what both runs read (the opened archive, the description,
# the uninstall record), install and uninstall are the two flows side by
# side, and launcher is the entry that makes a run and starts one of them.
# A library compiles against a view of the source tree that holds only the
# folders it may use, so an include that runs the wrong way does not
# compile: "core/file.h" cannot include "product/archive.h", since no
# product/ is in core's view, and "uninstall/uninstall_run.cpp" cannot
# include "install/placement.h".
#
#   velt_layer(<folder> [USES <libraries...>] [SEES <folders...>]
#              [SOURCES <files...>])
#     The library velt_<folder> of SOURCES (none: an interface library),
#     linked to USES, compiled with the stub's flags against a view of
#     <folder> and SEES. What links it sees the same.
#
#   velt_view(<target> <folders...>)
#     Compiles <target> against a view of <folders...> alone.

function(velt_view target)
  set(view ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${ARGN})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()

function(velt_layer folder)
  cmake_parse_arguments(L "" "" "USES;SEES;SOURCES" ${ARGN})
  set(target velt_${folder})
  if(L_SOURCES)
    add_library(${target} STATIC ${L_SOURCES})
    target_link_libraries(${target} PUBLIC ${L_USES})
    target_compile_options(${target} PRIVATE ${VELT_STUB_FLAGS})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${L_USES})
  endif()
  velt_view(${target} ${folder} ${L_SEES})
  set_property(GLOBAL APPEND PROPERTY VELT_LAYERS ${target})
endfunction()
