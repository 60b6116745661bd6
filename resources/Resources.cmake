# The download program's window layouts (Qt Designer files compiled by uic)
# and its pictures, bundled with Qt's resource system under ":/pelmora/".
#
#   pelmora_add_layouts(<target>)   adds both to a target (its ui_*.h headers
#                                   and the resources)
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/ProgramResources.cmake)

set(PELMORA_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PELMORA_LAYOUTS
  ${PELMORA_RESOURCE_DIR}/layouts/TMainForm.ui
  ${PELMORA_RESOURCE_DIR}/layouts/TFormMsg.ui
  ${PELMORA_RESOURCE_DIR}/layouts/TFormCaution.ui
  ${PELMORA_RESOURCE_DIR}/layouts/TFormAbout.ui
  ${PELMORA_RESOURCE_DIR}/layouts/TFormEngOption.ui)

# The pictures, drawn at build time by resources/tools/MakeArtwork.cpp from
# shapes and the Nanum fonts: the main window's skin as a JPEG (decoded by the
# program's JPEG picture class), the icon and the glyph lists as PNG.  Each
# list: name and glyph count; the names must match the generator.
set(PELMORA_PICTURE_DIR ${CMAKE_BINARY_DIR}/pelmora-pictures)
set(PELMORA_PICTURES ${PELMORA_PICTURE_DIR}/ImageMain.jpg ${PELMORA_PICTURE_DIR}/Image2.png)
foreach(list IN ITEMS ImageListOk:4 ImageListCancel:2 ImageListSearchDownKr:4
                      ImageListSearch_en:2 ImageListDown_en:2 ImageListHelp:2 ImageListExit:2)
  string(REPLACE ":" ";" parts ${list})
  list(GET parts 0 name)
  list(GET parts 1 count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    list(APPEND PELMORA_PICTURES ${PELMORA_PICTURE_DIR}/${name}_${i}.png)
  endforeach()
endforeach()

odt_draw_pictures(pelmora_artwork
  SOURCE ${PELMORA_RESOURCE_DIR}/tools/MakeArtwork.cpp
  DIRECTORY ${PELMORA_PICTURE_DIR}
  COMMENT "Drawing the artwork"
  LIBRARIES Qt6::Gui JPEG::JPEG
  PICTURES ${PELMORA_PICTURES})

function(pelmora_add_layouts target)
  odt_add_layouts(${target} pelmora_pictures PREFIX /pelmora BASE ${PELMORA_PICTURE_DIR}
    LAYOUTS ${PELMORA_LAYOUTS} PICTURES ${PELMORA_PICTURES})
endfunction()
