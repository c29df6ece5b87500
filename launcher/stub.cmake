# The stub executable: GUI subsystem, static, stripped. Its entry sits on
# top of every layer. The dialog templates are resources of the executable
# itself (a resource in a static library would not be linked in).
#
# velt-stub is the product. velt-stub-faults is the same program with the
# failure plan of the tests (core/system_faults_win32.cpp): it makes the
# system calls that VELT_SYSTEM_FAULTS names fail; the product carries
# none of it.
function(velt_add_stub target)
  add_executable(${target} WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/entry.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/stub.rc ${CMAKE_SOURCE_DIR}/ui/dialogs.rc
                 ${ARGN})
  # install/ and uninstall/ are defined after this folder; names may be
  # linked before their targets exist.
  target_link_libraries(${target} PRIVATE velt_install velt_uninstall velt_launcher)
  velt_view(${target} launcher install uninstall product ui system archive core)
  target_compile_options(${target} PRIVATE ${VELT_STUB_FLAGS})
  # The entry point of entry.cpp replaces the C runtime's start-up code. On
  # x86 the C name carries a leading underscore.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(velt_entry _VeltEntry)
  else()
    set(velt_entry VeltEntry)
  endif()
  target_link_options(${target} PRIVATE -s -nostartfiles -Wl,-e,${velt_entry})
endfunction()

velt_add_stub(velt-stub)
velt_add_stub(velt-stub-faults ${CMAKE_SOURCE_DIR}/core/system_faults_win32.cpp)
target_compile_definitions(velt-stub-faults PRIVATE VELT_SYSTEM_FAULTS)
