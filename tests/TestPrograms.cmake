# One test program per directory under tests/; every .cpp in it is linked in.
# A program that cannot be built as declared stops the configuration, and so
# does a directory that no declaration builds: a build never holds fewer
# tests than the tree.

# odt_test_program(name [QT] libraries...): QT programs share one QApplication
# made by tests/support/QtTestMain.cpp.
function(odt_test_program name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "QT" "" "")
  set(libraries ${ARG_UNPARSED_ARGUMENTS})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "test program test_${name}: tests/${name} holds no .cpp file")
  endif()
  if(ARG_QT)
    list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/support/QtTestMain.cpp)
  endif()
  foreach(lib IN LISTS libraries)
    if(NOT TARGET ${lib})
      message(FATAL_ERROR "test program test_${name} links ${lib}, which the build has not defined before tests/")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ODT_TEST_PROGRAMS ${name})
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${libraries} GTest::gmock GTest::gtest GTest::gtest_main)
  target_include_directories(test_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endfunction()

# odt_check_test_programs(directories...): after the declarations, every
# directory under tests/ but the given ones (helpers, tools) is a program.
function(odt_check_test_programs)
  get_property(programs GLOBAL PROPERTY ODT_TEST_PROGRAMS)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${entry} AND NOT entry IN_LIST programs AND NOT entry IN_LIST ARGN)
      message(FATAL_ERROR "tests/${entry} is not built: declare its program with odt_test_program")
    endif()
  endforeach()
endfunction()
