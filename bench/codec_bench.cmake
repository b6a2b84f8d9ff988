# The codec benchmark (host). With Debian's libwim-dev installed, wimlib's
# XPRESS compressor and decompressor run beside ours on the same data as the
# peer; only this benchmark links it, never the product.
add_executable(codec_bench codec_bench.cpp)
target_link_libraries(codec_bench PRIVATE qvn_compression)
find_library(QVN_WIMLIB_LIBRARY wim)
find_path(QVN_WIMLIB_INCLUDE_DIR wimlib.h)
if(QVN_WIMLIB_LIBRARY AND QVN_WIMLIB_INCLUDE_DIR)
  target_compile_definitions(codec_bench PRIVATE QVN_HAVE_WIMLIB=1)
  target_include_directories(codec_bench PRIVATE ${QVN_WIMLIB_INCLUDE_DIR})
  target_link_libraries(codec_bench PRIVATE ${QVN_WIMLIB_LIBRARY})
endif()

# The launcher's stages timed natively over the portable code
# (docs/performance.md).
add_executable(stage_bench stage_bench.cpp)
target_link_libraries(stage_bench PRIVATE qvn_payload_format qvn_payload_entry_check qvn_sha256)
