# The search walk: TDirNavigator over a large tree, against find (bench/search_bench.sh).
add_executable(search_walk ${CMAKE_CURRENT_LIST_DIR}/search_walk.cpp)
kv_warnings(search_walk)
target_link_libraries(search_walk PRIVATE kv_search)
