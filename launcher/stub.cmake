# The stub executable: GUI subsystem, static, stripped.
add_executable(velt-stub WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/stub.rc)
target_link_libraries(velt-stub PRIVATE velt)
target_compile_options(velt-stub PRIVATE ${VELT_STUB_FLAGS})
target_link_options(velt-stub PRIVATE -s)
