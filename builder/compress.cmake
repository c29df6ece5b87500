# The compressor of the block format, shared by veltpack, the tests, the
# fuzz targets and the benchmark. It checks each block with the stub's own
# decoder, hence the link to velt.
add_library(veltpack_compress STATIC ${CMAKE_CURRENT_LIST_DIR}/compress.cpp)
target_include_directories(veltpack_compress PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(veltpack_compress PUBLIC velt)
