# The program QuorvinPlus: its start-up decides whether this process is a
# launcher or the relocated copy that runs the repair dialog.
add_executable(QuorvinPlus ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_include_directories(QuorvinPlus PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(QuorvinPlus PRIVATE qv_dialog qv_launcher qv_startup)
if(TARGET qv_payload_resources)
  target_link_libraries(QuorvinPlus PRIVATE qv_payload_resources)
endif()
qv_host_executable(QuorvinPlus)
