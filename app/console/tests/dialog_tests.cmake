# Tests of the repair dialog and the repair run, over stand-in libraries
# (DialogFakeDravik*.dll, DialogFakeSievex*.dll beside the tests).
set(QV_DIALOG_TESTS ${CMAKE_CURRENT_LIST_DIR})

foreach(variant "" Minimal Bare)
  add_library(dialog_fake_dravik${variant} SHARED ${QV_DIALOG_TESTS}/dialog_fake_dravik.cpp)
  qv_product_library(dialog_fake_dravik${variant} DialogFakeDravik${variant})
endforeach()
target_compile_definitions(dialog_fake_dravikMinimal PRIVATE FAKE_DRAVIK_MINIMAL)
target_compile_definitions(dialog_fake_dravikBare PRIVATE FAKE_DRAVIK_BARE)
foreach(variant "" NoStart)
  add_library(dialog_fake_sievex${variant} SHARED ${QV_DIALOG_TESTS}/dialog_fake_sievex.cpp)
  qv_product_library(dialog_fake_sievex${variant} DialogFakeSievex${variant})
endforeach()
target_compile_definitions(dialog_fake_sievexNoStart PRIVATE FAKE_SIEVEX_NO_START_SORT)
set(QV_DIALOG_FAKES dialog_fake_dravik dialog_fake_dravikMinimal dialog_fake_dravikBare
    dialog_fake_sievex dialog_fake_sievexNoStart)

# No Qt: also built and run under ThreadSanitizer.
qv_test(dialog_logic_tests
  SOURCES ${QV_DIALOG_TESTS}/dialog_logic_test.cpp ${QV_DIALOG_TESTS}/dialog_workers_test.cpp
  LIBS qv_repair_run
  LABELS "dialog;tsan")
add_dependencies(dialog_logic_tests ${QV_DIALOG_FAKES})

if(QUORVIN_WITH_QT)
  add_executable(dialog_qt_tests
    ${QV_DIALOG_TESTS}/dialog_qt_main.cpp
    ${QV_DIALOG_TESTS}/dialog_init_test.cpp
    ${QV_DIALOG_TESTS}/dialog_run_test.cpp)
  target_include_directories(dialog_qt_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(dialog_qt_tests PRIVATE qv_dialog qv_sim GTest::gtest)
  qv_host_executable(dialog_qt_tests)
  add_dependencies(dialog_qt_tests ${QV_DIALOG_FAKES})
  gtest_discover_tests(dialog_qt_tests DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    TEST_PREFIX "dialog."
    PROPERTIES LABELS dialog TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# End to end on simulated drives with the built libraries, the Boot tree and
# flashsim beside the test.
if(QUORVIN_WITH_QT AND TARGET Dravik AND TARGET Sievex AND TARGET qv_sim)
  add_executable(dialog_sim_tests ${QV_DIALOG_TESTS}/dialog_qt_main.cpp ${QV_DIALOG_TESTS}/dialog_sim_test.cpp)
  target_include_directories(dialog_sim_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(dialog_sim_tests PRIVATE qv_dialog qv_sim GTest::gtest)
  qv_host_executable(dialog_sim_tests)
  foreach(dep Dravik Sievex qv_boot_data flashsim)
    if(TARGET ${dep})
      add_dependencies(dialog_sim_tests ${dep})
    endif()
  endforeach()
  gtest_discover_tests(dialog_sim_tests DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    TEST_PREFIX "dialog."
    PROPERTIES LABELS dialog TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The README's pictures (not a test): xvfb-run -a bin/dialog_screenshots docs
if(QUORVIN_WITH_QT AND TARGET Dravik AND TARGET Sievex AND TARGET qv_sim)
  add_executable(dialog_screenshots ${QV_DIALOG_TESTS}/dialog_screenshots.cpp)
  target_include_directories(dialog_screenshots PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(dialog_screenshots PRIVATE qv_dialog qv_sim)
  qv_host_executable(dialog_screenshots)
  foreach(dep Dravik Sievex qv_boot_data)
    if(TARGET ${dep})
      add_dependencies(dialog_screenshots ${dep})
    endif()
  endforeach()
endif()
