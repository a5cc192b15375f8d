# Multiple-file extraction: the window run without a screen over a list of archives.
if(NOT KV_WITH_GUI)
  return()
endif()
add_executable(mfe_driver ${CMAKE_CURRENT_LIST_DIR}/mfe_driver.cpp)
kv_warnings(mfe_driver)
target_link_libraries(mfe_driver PRIVATE kv_dialogs)
