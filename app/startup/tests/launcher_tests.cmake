# Tests of the start-up decision and of the platform services it uses.
qv_test(launcher_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/launcher_start_decision_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/launcher_platform_test.cpp
  LIBS qv_launcher qv_startup
  LABELS "startup;launcher;tsan")

# The built program, run as a user would start it. It exists only in the
# builds with Qt.
if(QUORVIN_WITH_QT)
  qv_test(launcher_program_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/launcher_program_test.cpp
    LIBS qv_launcher qv_startup qv_payload_resources
    LABELS "startup;launcher")
  target_compile_definitions(launcher_program_tests PRIVATE
    QV_PROGRAM_FILE="$<TARGET_FILE:QuorvinPlus>")
  add_dependencies(launcher_program_tests QuorvinPlus)
endif()
