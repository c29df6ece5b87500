# The compressor of the block format, shared by veltpack, the tests, the
# fuzz targets and the benchmark. It checks each block with the stub's own
# decoder, hence the link to the format's library.
add_library(veltpack_compress STATIC ${CMAKE_CURRENT_LIST_DIR}/compress.cpp)
target_link_libraries(veltpack_compress PUBLIC velt_archive)
velt_view(veltpack_compress builder archive core)
