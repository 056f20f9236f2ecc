# sim_bench: a 32 GiB simulated drive erased, filled and verified in full
# through the platform's pass-through.
if(TARGET qv_sim)
  add_executable(sim_bench ${CMAKE_CURRENT_SOURCE_DIR}/sim_bench.cpp)
  target_include_directories(sim_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(sim_bench PRIVATE qv_sim)
  qv_host_executable(sim_bench)
endif()
