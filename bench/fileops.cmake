# File operations: copying a large file and a tree of small files, deleting a tree,
# against cp and rm measured in the same run.
if(NOT KV_WITH_GUI)
  return()
endif()
add_executable(fileops_bench ${CMAKE_CURRENT_LIST_DIR}/fileops_bench.cpp)
kv_warnings(fileops_bench)
target_link_libraries(fileops_bench PRIVATE kv_widgets benchmark::benchmark)
