# The diagnostic program's window layouts (Qt Designer files compiled by uic,
# kept apart from the download program's, whose class names they share) and
# its pictures, bundled with Qt's resource system under ":/corvan/".
#
#   corvan_add_layouts(<target>)   adds both to a target
include_guard(GLOBAL)

set(CORVAN_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CORVAN_LAYOUTS
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormTest.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormScreenItem.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormMain.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormAbout.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormTestSpec.ui)

set(CORVAN_PICTURE_DIR ${CMAKE_BINARY_DIR}/corvan-pictures)
set(CORVAN_PICTURES ${CORVAN_PICTURE_DIR}/Splash.bmp ${CORVAN_PICTURE_DIR}/Icon.png)

add_executable(corvan_pictures ${CORVAN_RESOURCE_DIR}/tools/MakeCorvanPictures.cpp)
target_link_libraries(corvan_pictures PRIVATE Qt6::Gui)
add_custom_command(
  OUTPUT ${CORVAN_PICTURES}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:corvan_pictures> ${CORVAN_PICTURE_DIR}
  DEPENDS corvan_pictures
  COMMENT "Drawing the diagnostic program's pictures"
  VERBATIM)

function(corvan_add_layouts target)
  qt6_wrap_ui(headers ${CORVAN_LAYOUTS})
  target_sources(${target} PRIVATE ${headers})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
  qt_add_resources(${target} "corvan_pictures"
    PREFIX "/corvan"
    BASE ${CORVAN_PICTURE_DIR}
    FILES ${CORVAN_PICTURES})
endfunction()
