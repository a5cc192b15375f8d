# GIF decoding: TGIFImage against giflib (benchmark-only dependency, libgif-dev).
find_package(GIF REQUIRED)
add_executable(gif_bench ${CMAKE_CURRENT_LIST_DIR}/gif_bench.cpp)
kv_warnings(gif_bench)
target_link_libraries(gif_bench PRIVATE kv_pictures GIF::GIF benchmark::benchmark)
