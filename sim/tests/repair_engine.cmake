# The drive's side of the repair, driven the way the controller's dispatcher
# calls it. Its sources belong to qv_sim; until they are listed there, the
# test compiles them itself.
set(QV_REPAIR_ENGINE_SOURCES repair_engine.cpp repair_store.cpp repair_user_area.cpp)
get_target_property(QV_SIM_SOURCES qv_sim SOURCES)
set(QV_REPAIR_ENGINE_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/repair_engine_test.cpp)
foreach(source ${QV_REPAIR_ENGINE_SOURCES})
  if(NOT source IN_LIST QV_SIM_SOURCES)
    list(APPEND QV_REPAIR_ENGINE_TEST_SOURCES ${PROJECT_SOURCE_DIR}/sim/${source})
  endif()
endforeach()
qv_test(sim_repair_engine_tests
  SOURCES ${QV_REPAIR_ENGINE_TEST_SOURCES}
  LIBS qv_sim
  LABELS "sim;tsan")
