# The download program's window layouts (Qt Designer files compiled by uic)
# and its pictures, bundled with Qt's resource system under ":/pelmora/".
#
#   pelmora_add_layouts(<target>)   adds both to a target (its ui_*.h headers
#                                   and the resources)
include_guard(GLOBAL)

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

add_executable(pelmora_artwork ${PELMORA_RESOURCE_DIR}/tools/MakeArtwork.cpp)
target_link_libraries(pelmora_artwork PRIVATE Qt6::Gui JPEG::JPEG)
add_custom_command(
  OUTPUT ${PELMORA_PICTURES}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:pelmora_artwork> ${PELMORA_PICTURE_DIR}
  DEPENDS pelmora_artwork
  COMMENT "Drawing the artwork"
  VERBATIM)

function(pelmora_add_layouts target)
  qt6_wrap_ui(headers ${PELMORA_LAYOUTS})
  target_sources(${target} PRIVATE ${headers})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
  qt_add_resources(${target} "pelmora_pictures"
    PREFIX "/pelmora"
    BASE ${PELMORA_PICTURE_DIR}
    FILES ${PELMORA_PICTURES})
endfunction()
