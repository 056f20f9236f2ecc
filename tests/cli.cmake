# quorvin-cli end to end on simulated drives.
if(TARGET quorvin-cli AND TARGET qv_sim)
  qv_test(cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp LABELS "cli")
  target_compile_definitions(cli_tests PRIVATE QV_BIN_DIR="${QV_OUT}")
  add_dependencies(cli_tests quorvin-cli Sievex)
endif()
