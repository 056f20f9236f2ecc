# Revert engine tests: against an in-test flash model, and end to end
# through DLLSort and the simulator.
qv_test(engine_unit_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/engine_fake_flash.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine_support.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine_run_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine_pattern_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine_marks_test.cpp
  LIBS sievex_device sievex_engine
  LABELS engine)
