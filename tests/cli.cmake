# quorvin-cli end to end on simulated drives.
if(TARGET quorvin-cli AND TARGET qv_sim)
  qv_test(cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp LIBS quorvin_cli_map LABELS "cli")
  target_compile_definitions(cli_tests PRIVATE QV_BIN_DIR="${QV_OUT}")
  add_dependencies(cli_tests quorvin-cli Sievex)
endif()

if(TARGET quorvin_cli_map AND TARGET qv_sim)
  qv_test(cli_map_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_map_test.cpp LIBS quorvin_cli_map qv_sim LABELS "cli")
endif()
