# The stub executable: GUI subsystem, static, stripped. Its entry sits on
# top of every layer. The dialog templates are resources of the executable
# itself (a resource in a static library would not be linked in).
add_executable(velt-stub WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/entry.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/stub.rc ${CMAKE_SOURCE_DIR}/ui/dialogs.rc)
target_link_libraries(velt-stub PRIVATE velt_install velt_uninstall velt_launcher)
velt_view(velt-stub launcher install uninstall product ui system archive core)
target_compile_options(velt-stub PRIVATE ${VELT_STUB_FLAGS})
# The entry point of entry.cpp replaces the C runtime's start-up code. On
# x86 the C name carries a leading underscore.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(velt_entry _VeltEntry)
else()
  set(velt_entry VeltEntry)
endif()
target_link_options(velt-stub PRIVATE -s -nostartfiles -Wl,-e,${velt_entry})
