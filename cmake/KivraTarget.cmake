# kivra_warnings(target): the warning set of the project's own code, as errors.
function(kivra_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wno-error=deprecated-declarations)
endfunction()

# kivra_library(name SOURCES... [LINKS ...]): a static library of the project.
function(kivra_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PUBLIC_LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE ${ARG_LINKS})
  kivra_warnings(${name})
endfunction()

# kivra_test(name SOURCES... LINKS... [ENV k=v...] [WIDGETS]): one GoogleTest executable, registered
# with CTest. WIDGETS: the widget tests' own main() (the program's application object) in place of
# GoogleTest's.
function(kivra_test name)
  cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT" "SOURCES;LINKS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_WIDGETS)
    target_link_libraries(${name} PRIVATE kivra_uitest_main ${ARG_LINKS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    KIVRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KIVRA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  kivra_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # The environment of every test of the executable. Not through the discovery's PROPERTIES:
  # they pass on only the first entry of a list, so it is set once the tests are known.
  set(_kivra_env "QT_QPA_PLATFORM=offscreen" ${ARG_ENV})
  if(KIVRA_ASAN)
    # Leaks of the system's libraries at exit that are not ours to mend.
    list(APPEND _kivra_env "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan-suppressions.txt")
  endif()
  set(_kivra_env_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
  file(WRITE "${_kivra_env_file}"
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${_kivra_env}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_kivra_env_file}")
endfunction()

# kivra_add_subdirectories(): every direct subfolder that has a CMakeLists.txt, in name order,
# so that a new area joins the build without editing its parent.
macro(kivra_add_subdirectories)
  file(GLOB _kivra_children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _kivra_children)
  foreach(_kivra_child ${_kivra_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_kivra_child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_kivra_child}/CMakeLists.txt)
      add_subdirectory(${_kivra_child})
    endif()
  endforeach()
endmacro()
