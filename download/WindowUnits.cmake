# The download program's window units and their layouts (library
# download_ui); included from download/CMakeLists.txt.
include(${PROJECT_SOURCE_DIR}/resources/Resources.cmake)

add_library(download_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Pelmorasmallmsg.cpp ${CMAKE_CURRENT_LIST_DIR}/Pelmorasmallmsg.h
  ${CMAKE_CURRENT_LIST_DIR}/Pelmoracaution.cpp ${CMAKE_CURRENT_LIST_DIR}/Pelmoracaution.h)
target_include_directories(download_ui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(download_ui PUBLIC platform_ui)
pelmora_add_layouts(download_ui)
