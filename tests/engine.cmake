# Revert engine tests. The unit tests run against an in-test flash and lay
# out their own boot images, so they live in a folder of their own; the
# end-to-end tests run beside the generated Boot tree against the simulator.
qv_test(engine_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/engine_fake_flash.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_pattern_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_marks_test.cpp
  LIBS sievex_device sievex_engine qv_sievex_import
  LABELS engine)
set_target_properties(engine_unit_tests PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/engine-tests)

if(TARGET qv_sim)
  qv_test(engine_sim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/engine_support.cpp
      ${CMAKE_CURRENT_LIST_DIR}/engine_fake_flash.cpp
      ${CMAKE_CURRENT_LIST_DIR}/engine_sim_test.cpp
    LIBS sievex_device sievex_engine qv_sim qv_sievex_import
    LABELS "engine;tsan")
  if(TARGET qv_boot_data)
    add_dependencies(engine_sim_tests qv_boot_data)
  endif()
endif()
