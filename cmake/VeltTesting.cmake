# Test helpers shared by every tests/ subdirectory.
#
#   velt_add_gtest(NAME <name> SOURCES <files...> [LIBS <libs...>])
#     One GoogleTest program and one ctest entry. Natively it runs directly
#     (with the sanitizers); in a Windows build (x86 or x64) it runs under
#     Wine in the build directory's prefix of the same architecture.
#
#   velt_add_wine_test(NAME <name> COMMAND <cmd...> [TIMEOUT <s>])
#     A ctest entry that needs the Wine prefix (scripts, end-to-end tests).
#     The command runs under scripts/wine-env.sh, which sets the prefix's
#     Wine environment (WINEPREFIX, WINEARCH, WINELOADER: the loader that
#     runs a program in that prefix); VELT_ARCH (x86 or x64: the stub's
#     architecture, for veltpack build --arch), VELT_SOURCE_DIR,
#     VELT_BINARY_DIR and VELT_BUILDER come from here;
#     scripts/wine-run.sh runs a program.
#
# The Windows tests need the native builder (VELT_BUILDER): a Windows
# build makes it in its preset's build (cmake/VeltPresets.cmake).

if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)
  set(VELT_GTEST_MAIN gtest_main)
  set(VELT_GTEST gtest)
else()
  find_package(GTest REQUIRED)
  set(VELT_GTEST_MAIN GTest::gtest_main)
  set(VELT_GTEST GTest::gtest)
endif()

# The x86 build's 32-bit processes may run under CPU emulation, several
# times slower: its tests get twice the time before they count as hung.
set(VELT_TIMEOUT_SCALE 1)
if(VELT_ARCH STREQUAL "x86")
  set(VELT_TIMEOUT_SCALE 2)
endif()

if(WIN32)
  velt_from_preset(velt_native_builder "${VELT_BUILDER}" veltpack)
  # The native builder carries this build's stub.
  add_dependencies(velt_native_builder velt-stub)
endif()

# What the Windows tests are told of this build; the Wine environment
# itself comes from scripts/wine-env.sh, through the emulator
# (scripts/wine-run.sh) or velt_add_wine_test.
set(VELT_TEST_ENV
  "VELT_ARCH=${VELT_ARCH}"
  "VELT_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "VELT_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "VELT_BUILDER=${VELT_BUILDER}")

function(velt_add_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE velt ${T_LIBS} ${VELT_GTEST_MAIN})
  if(WIN32)
    # Console subsystem: GoogleTest prints to the standard streams.
    target_link_options(${T_NAME} PRIVATE -mconsole)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  math(EXPR T_TIMEOUT "${T_TIMEOUT} * ${VELT_TIMEOUT_SCALE}")
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED wine ENVIRONMENT "${VELT_TEST_ENV}")
  endif()
endfunction()

function(velt_add_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  math(EXPR T_TIMEOUT "${T_TIMEOUT} * ${VELT_TIMEOUT_SCALE}")
  add_test(NAME ${T_NAME}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${VELT_WINE_PREFIX} ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    FIXTURES_REQUIRED wine ENVIRONMENT "${VELT_TEST_ENV}")
endfunction()
