# The container parser and the path rules: portable, built in both trees.
add_library(qvn_payload_format STATIC payload_container_writer.cpp payload_manifest.cpp payload_path.cpp)
target_link_libraries(qvn_payload_format PUBLIC qvn_launcher_error)

if(QVN_FUZZ)
  # Coverage feedback has to reach into the parser, not only the fuzz target.
  target_compile_options(qvn_payload_format PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endif()
