# ZIP engine: List of large directories in process (time and heap held per entry).
add_executable(zipengine_list_bench ${CMAKE_CURRENT_LIST_DIR}/zipengine_list_bench.cpp)
kv_warnings(zipengine_list_bench)
target_link_libraries(zipengine_list_bench PRIVATE kv_zipengine kv_platform benchmark::benchmark)
