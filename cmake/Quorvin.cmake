# Helpers shared by the CMakeLists of the tree.

# A host executable links the platform layer (and the simulator behind it)
# and exports their symbols, so that Sievex.dll and Dravik.dll, loaded into
# the process, call the one copy of the platform that lives in the host.
function(qv_host_executable target)
  target_link_libraries(${target} PRIVATE qv_platform)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()

# A shared library of the product (Sievex.dll, Dravik.dll): built under its
# Windows file name, with its platform calls left for the host to resolve.
function(qv_product_library target filename)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${filename} SUFFIX ".dll"
    NO_SONAME ON)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Test programs whose tests run under ThreadSanitizer too; the target
# qv_tsan_tests builds just them (and what they need).
function(qv_mark_tsan target)
  set_property(GLOBAL APPEND PROPERTY QV_TSAN_TARGETS ${target})
endfunction()

# A GoogleTest executable that is a host like the program.
function(qv_test target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  qv_host_executable(${target})
  # The discovered tests' properties are passed as a flat list, so a list
  # of labels would come apart: the labels travel as one label joined with
  # "+", which `ctest -L <name>` still matches since -L takes a regex.
  string(REPLACE ";" "+" labels "${T_LABELS}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT 300)
  if("tsan" IN_LIST T_LABELS)
    qv_mark_tsan(${target})
  endif()
endfunction()
