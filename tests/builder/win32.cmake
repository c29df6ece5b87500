# veltpack.exe under Wine: it builds, verifies and extracts, and its
# installers are byte for byte the ones the native builder makes.
velt_add_wine_test(NAME builder_win32
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win32_test.sh $<TARGET_FILE:veltpack>
          $<TARGET_FILE:velt-stub> ${CMAKE_CURRENT_BINARY_DIR}/win32
  TIMEOUT 300)
