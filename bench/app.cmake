# Main window: opening a large archive until the grid shows its rows and totals.
if(NOT KV_WITH_GUI)
  return()
endif()
add_executable(app_open_bench ${CMAKE_CURRENT_LIST_DIR}/app_open_bench.cpp)
kv_warnings(app_open_bench)
target_link_libraries(app_open_bench PRIVATE kv_app benchmark::benchmark)
