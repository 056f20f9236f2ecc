# Discovery, identification and boot code end to end: Sievex.dll bound by
# name over simulated drives, with the generated boot images and the carried
# flash database. The test program runs from a folder of its own, where it
# lays out those files beside itself as the program's folder holds them.
if(TARGET Sievex AND TARGET qv_sim AND TARGET qv_boot_data)
  qv_test(discovery_e2e_test
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/discovery_e2e_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/discovery_sievex_binding.cpp
    LIBS qv_sievex_import
    LABELS discovery)
  set_target_properties(discovery_e2e_test PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/discovery-tests)
  target_compile_definitions(discovery_e2e_test PRIVATE
    QV_BIN_DIR="${QV_OUT}"
    QV_SIEVEX_DLL="${QV_OUT}/Sievex.dll"
    QV_CARRIED_FLASH8K="${PROJECT_SOURCE_DIR}/app/resources/flash8k.ini")
  add_dependencies(discovery_e2e_test Sievex qv_boot_data)
  qv_mark_tsan(discovery_e2e_test)
  # Threaded cases run under ThreadSanitizer too: qv_test passes one label
  # to the discovered tests, so the list is set once ctest has found them.
  set(QV_DISCOVERY_LABELS ${CMAKE_CURRENT_BINARY_DIR}/discovery_e2e_test_labels.cmake)
  file(WRITE ${QV_DISCOVERY_LABELS}
    "if(discovery_e2e_test_TESTS)\n"
    "  set_tests_properties(\${discovery_e2e_test_TESTS} PROPERTIES LABELS \"discovery;tsan\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QV_DISCOVERY_LABELS})
endif()
