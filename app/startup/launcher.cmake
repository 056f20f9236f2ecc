# The program's start-up decision: admission, relocation into the working
# folder, single running copy, and the relocated copy's payload and dialog.
add_library(qv_launcher STATIC
  ${CMAKE_CURRENT_LIST_DIR}/admission.cpp
  ${CMAKE_CURRENT_LIST_DIR}/instance_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/os_build.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repair_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_table.cpp)
target_include_directories(qv_launcher PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qv_launcher PUBLIC qv_startup)

if(QUORVIN_WITH_TESTS)
  include(${CMAKE_CURRENT_LIST_DIR}/tests/launcher_tests.cmake)
endif()
