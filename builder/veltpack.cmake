# veltpack: the format code as a library (shared with the tests), and the
# program, which carries a stub inside itself: natively the one given by
# VELT_STUB, in the Win32 build (veltpack.exe) the velt-stub it builds.
if(NOT TARGET veltpack_compress)
  message(STATUS "veltpack: the compressor is missing; the builder is skipped")
  return()
endif()
add_library(veltpack_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/description.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/project.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
target_include_directories(veltpack_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(veltpack_core PUBLIC veltpack_compress velt)
if(WIN32 AND NOT VELTPACK_TOML_INCLUDE)
  # toml++ is header-only and builds with MinGW as it is, but the cross
  # compiler must not see the host's /usr/include (glibc headers): give it a
  # folder that holds nothing but a link to toml++.
  find_path(VELTPACK_TOML_HOST toml++/toml.h PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VELTPACK_TOML_HOST)
    message(STATUS "veltpack: toml++ not found on the host; veltpack.exe is skipped")
    return()
  endif()
  set(VELTPACK_TOML_INCLUDE ${CMAKE_BINARY_DIR}/toml-include)
  file(MAKE_DIRECTORY ${VELTPACK_TOML_INCLUDE})
  file(CREATE_LINK ${VELTPACK_TOML_HOST}/toml++ ${VELTPACK_TOML_INCLUDE}/toml++ SYMBOLIC)
endif()
if(VELTPACK_TOML_INCLUDE)
  # A directory that holds only toml++ (the Windows build must not see the
  # host's other headers).
  target_include_directories(veltpack_core SYSTEM PUBLIC ${VELTPACK_TOML_INCLUDE})
endif()

# The embedded stub: a generated source that is rebuilt when the stub
# changes. Without a stub at configure time the builder needs --stub.
set(veltpack_stub_source ${CMAKE_CURRENT_BINARY_DIR}/embedded_stub.cpp)
if(WIN32 AND TARGET velt-stub)
  # veltpack.exe carries the stub of its own build.
  add_custom_command(OUTPUT ${veltpack_stub_source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:velt-stub> -DOUTPUT=${veltpack_stub_source}
            -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    DEPENDS velt-stub ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    COMMENT "Embedding this build's stub")
elseif(VELT_STUB AND EXISTS ${VELT_STUB})
  add_custom_command(OUTPUT ${veltpack_stub_source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${VELT_STUB} -DOUTPUT=${veltpack_stub_source}
            -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    DEPENDS ${VELT_STUB} ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    COMMENT "Embedding the stub ${VELT_STUB}")
else()
  if(VELT_STUB)
    message(STATUS "veltpack: no stub at ${VELT_STUB}; the builder will need --stub")
  endif()
  file(WRITE ${veltpack_stub_source}.in
       "#include \"builder/embedded_stub.h\"\n"
       "const unsigned char kEmbeddedStub[1] = {0};\n"
       "const size_t kEmbeddedStubSize = 0;\n")
  configure_file(${veltpack_stub_source}.in ${veltpack_stub_source} COPYONLY)
endif()

add_library(veltpack_stub STATIC ${veltpack_stub_source})
target_include_directories(veltpack_stub PUBLIC ${CMAKE_SOURCE_DIR})

add_executable(veltpack ${CMAKE_CURRENT_LIST_DIR}/veltpack.cpp)
target_link_libraries(veltpack PRIVATE veltpack_core veltpack_stub)
if(WIN32)
  target_link_options(veltpack PRIVATE -s)   # the one file vendors install: half the size
endif()
