# Run as a test (cmake -P, with MODULE, the test programs' module, and WORK, a
# scratch directory): configures small projects that declare test programs
# the way tests/CMakeLists.txt does and checks that each gap in them stops
# the configuration with its message, instead of leaving tests out.
foreach(variable MODULE WORK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run with -D${variable}=...")
  endif()
endforeach()

# expect_refused(case directories declarations message): a project whose
# tests/ holds the given directories (one .cpp each, none in a name that
# ends in "-empty") and whose list file makes the declarations.
function(expect_refused case directories declarations expected)
  set(source ${WORK}/${case})
  file(REMOVE_RECURSE ${source} ${source}-build)
  foreach(directory IN LISTS directories)
    if(directory MATCHES "-empty$")
      file(MAKE_DIRECTORY ${source}/${directory})
    else()
      file(WRITE ${source}/${directory}/Test.cpp "")
    endif()
  endforeach()
  file(WRITE ${source}/CMakeLists.txt
       "cmake_minimum_required(VERSION 3.25)\nproject(${case} LANGUAGES NONE)\ninclude(${MODULE})\n${declarations}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${source} -B ${source}-build
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # CMake wraps its messages.
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  if(result EQUAL 0)
    message(SEND_ERROR "${case}: configured without error; expected \"${expected}\"")
  elseif(NOT output MATCHES "${expected}")
    message(SEND_ERROR "${case}: expected \"${expected}\", the configuration said:\n${output}")
  endif()
endfunction()

expect_refused(missing-library "alpha" "odt_test_program(alpha no_such_library)"
               "test_alpha links no_such_library, which the build has not defined")
expect_refused(no-sources "beta-empty" "odt_test_program(beta-empty)"
               "tests/beta-empty holds no .cpp file")
expect_refused(undeclared-directory "gamma;support" "odt_check_test_programs(support)"
               "tests/gamma is not built")
