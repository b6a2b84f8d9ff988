# The launcher's decompressor over the portable codec.
add_library(qvn_decompressor STATIC decompressor.cpp)
target_link_libraries(qvn_decompressor PUBLIC qvn_compression qvn_launcher_error)
