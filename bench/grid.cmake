# Sortable grid: filling 100,000 listing rows, click-sorting them, memory per row,
# resizing a column (the grid alone and the main window's listing).
if(NOT KV_WITH_GUI)
  return()
endif()
add_executable(grid_bench ${CMAKE_CURRENT_LIST_DIR}/grid_bench.cpp)
kv_warnings(grid_bench)
target_link_libraries(grid_bench PRIVATE kv_app Qt6::Widgets benchmark::benchmark)
