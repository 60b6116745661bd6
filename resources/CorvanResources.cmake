# The diagnostic program's window layouts (Qt Designer files compiled by uic,
# kept apart from the download program's, whose class names they share) and
# its pictures, bundled with Qt's resource system under ":/corvan/".
#
#   corvan_add_layouts(<target>)   adds both to a target
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ProgramResources.cmake)

set(CORVAN_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CORVAN_LAYOUTS
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormTest.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormScreenItem.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormMain.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormAbout.ui
  ${CORVAN_RESOURCE_DIR}/layouts/corvan/TFormTestSpec.ui)

set(CORVAN_PICTURE_DIR ${CMAKE_BINARY_DIR}/corvan-pictures)
set(CORVAN_PICTURES ${CORVAN_PICTURE_DIR}/Splash.bmp ${CORVAN_PICTURE_DIR}/Icon.png)

odt_draw_pictures(corvan_pictures
  SOURCE ${CORVAN_RESOURCE_DIR}/tools/MakeCorvanPictures.cpp
  DIRECTORY ${CORVAN_PICTURE_DIR}
  COMMENT "Drawing the diagnostic program's pictures"
  LIBRARIES Qt6::Gui
  PICTURES ${CORVAN_PICTURES})

function(corvan_add_layouts target)
  odt_add_layouts(${target} corvan_pictures PREFIX /corvan BASE ${CORVAN_PICTURE_DIR}
    LAYOUTS ${CORVAN_LAYOUTS} PICTURES ${CORVAN_PICTURES})
endfunction()
