# The compressor/extractor benchmark: a driver that calls the libraries through
# their binary interface (run by ziplibs_bench.sh against zip, unzip, 7zz, bsdtar).
add_executable(kvziplib ${CMAKE_CURRENT_LIST_DIR}/ziplibs_driver.cpp)
kv_warnings(kvziplib)
target_include_directories(kvziplib PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(kvziplib PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(kvziplib kvzip kvunzip)
