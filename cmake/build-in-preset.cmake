# cmake -DSOURCE_DIR=... -DPRESET=... -DTARGET=... -DCALLER=... -P build-in-preset.cmake
#
# Builds TARGET in the build of PRESET (SOURCE_DIR/build/PRESET) for the
# build in CALLER, configuring it with its preset first when it has never
# been configured. VELT_BUILDING (environment) lists the builds under way
# that led here: such a build is not entered again, as its own ninja is
# running there and has made what its callee needs before calling it.
cmake_minimum_required(VERSION 3.25)
set(binary ${SOURCE_DIR}/build/${PRESET})
set(building "$ENV{VELT_BUILDING}")
if(binary IN_LIST building)
  return()
endif()
list(APPEND building ${CALLER})
set(ENV{VELT_BUILDING} "${building}")
if(NOT EXISTS ${binary}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET}
                  WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot configure build/${PRESET}: run cmake --preset ${PRESET} to see why")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build --preset ${PRESET} --target ${TARGET}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "building ${TARGET} in build/${PRESET} failed (above)")
endif()
