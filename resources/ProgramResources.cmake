# What both programs' resource files share: pictures drawn at build time by a
# generator program, and window layouts (Qt Designer files compiled by uic)
# bundled with those pictures through Qt's resource system.
#
#   odt_draw_pictures(<generator> SOURCE <file.cpp> DIRECTORY <dir>
#                     COMMENT <text> LIBRARIES <libs...> PICTURES <files...>)
#       builds the generator and runs it to write the pictures into <dir>
#   odt_add_layouts(<target> <resource name> PREFIX <prefix> BASE <dir>
#                   LAYOUTS <files.ui...> PICTURES <files...>)
#       adds the ui_*.h headers (in the calling directory's build tree) and
#       the pictures under :<prefix>/ to a target
include_guard(GLOBAL)

function(odt_draw_pictures generator)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "SOURCE;DIRECTORY;COMMENT" "LIBRARIES;PICTURES")
  add_executable(${generator} ${ARG_SOURCE})
  target_link_libraries(${generator} PRIVATE ${ARG_LIBRARIES})
  add_custom_command(
    OUTPUT ${ARG_PICTURES}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:${generator}> ${ARG_DIRECTORY}
    DEPENDS ${generator}
    COMMENT "${ARG_COMMENT}"
    VERBATIM)
endfunction()

function(odt_add_layouts target name)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "PREFIX;BASE" "LAYOUTS;PICTURES")
  qt6_wrap_ui(headers ${ARG_LAYOUTS})
  target_sources(${target} PRIVATE ${headers})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
  qt_add_resources(${target} ${name}
    PREFIX ${ARG_PREFIX}
    BASE ${ARG_BASE}
    FILES ${ARG_PICTURES})
endfunction()
