# veltpack: the format code as a library (shared with the tests), and the
# program, which carries both stubs (x86 and x64) inside itself.
add_library(veltpack_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/description.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/project.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
# The builder sits beside the launcher: it uses the format (archive/) and
# the foundation (core/), and nothing of the stub's other folders.
target_link_libraries(veltpack_core PUBLIC veltpack_compress velt_archive velt_core)
velt_view(veltpack_core builder archive core)

# toml++ (header-only) reads the project file, in every build.
find_path(VELTPACK_TOML_HOST toml++/toml.h PATHS /usr/include /usr/local/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VELTPACK_TOML_HOST)
  message(FATAL_ERROR "veltpack needs toml++, which is missing: run scripts/setup.sh "
                      "(Debian's libtomlplusplus-dev)")
endif()
if(WIN32)
  # toml++ builds with MinGW as it is, but the cross compiler must not see
  # the host's /usr/include (glibc headers): it gets a folder that holds
  # nothing but a link to toml++.
  set(VELTPACK_TOML_INCLUDE ${CMAKE_BINARY_DIR}/toml-include)
  file(MAKE_DIRECTORY ${VELTPACK_TOML_INCLUDE})
  file(CREATE_LINK ${VELTPACK_TOML_HOST}/toml++ ${VELTPACK_TOML_INCLUDE}/toml++ SYMBOLIC)
  target_include_directories(veltpack_core SYSTEM PUBLIC ${VELTPACK_TOML_INCLUDE})
endif()

# The embedded stubs, x86 and x64: a generated source, written again only
# when a stub changed. A Windows build's veltpack.exe carries its own
# build's stub and the other architecture's from VELT_STUB_X86 or
# VELT_STUB_X64; the native builder carries both from those paths. A stub
# in another preset's build is built there first (cmake/VeltPresets.cmake);
# a stub given by hand that is missing is left out, with a warning.
set(veltpack_stub_source ${CMAKE_CURRENT_BINARY_DIR}/embedded_stub.cpp)
set(veltpack_stub_X86 ${VELT_STUB_X86})
set(veltpack_stub_X64 ${VELT_STUB_X64})
if(WIN32 AND TARGET velt-stub)
  string(TOUPPER ${VELT_ARCH} own)
  set(veltpack_stub_${own} $<TARGET_FILE:velt-stub>)
endif()
add_custom_target(veltpack_embed_stubs
  COMMAND ${CMAKE_COMMAND} -DX86=${veltpack_stub_X86} -DX64=${veltpack_stub_X64}
          -DOUTPUT=${veltpack_stub_source} -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
  BYPRODUCTS ${veltpack_stub_source}
  COMMENT "Embedding the x86 and x64 stubs"
  VERBATIM)
if(WIN32 AND TARGET velt-stub)
  add_dependencies(veltpack_embed_stubs velt-stub)
endif()
foreach(arch X86 X64)
  velt_from_preset(veltpack_make_stub_${arch} "${veltpack_stub_${arch}}" velt-stub)
  add_dependencies(veltpack_embed_stubs veltpack_make_stub_${arch})
endforeach()

add_library(veltpack_stub STATIC ${veltpack_stub_source})
velt_view(veltpack_stub builder archive core)
add_dependencies(veltpack_stub veltpack_embed_stubs)

add_executable(veltpack ${CMAKE_CURRENT_LIST_DIR}/veltpack.cpp)
target_link_libraries(veltpack PRIVATE veltpack_core veltpack_stub)
if(WIN32)
  target_link_options(veltpack PRIVATE -s)   # the one file vendors install: half the size
endif()
