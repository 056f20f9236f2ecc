# The repair dialog and the repair run. qv_repair_run holds what needs no Qt
# (the shared record, the workers, the device text, the string table), so
# that the threaded paths build and run under ThreadSanitizer too; qv_dialog
# is the Qt dialog over it.
include_guard(GLOBAL)
set(QV_DIALOG_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(qv_repair_run STATIC
  ${QV_DIALOG_DIR}/device_info.cpp
  ${QV_DIALOG_DIR}/repair_context.cpp
  ${QV_DIALOG_DIR}/repair_workers.cpp
  ${QV_DIALOG_DIR}/string_table.cpp)
target_include_directories(qv_repair_run PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qv_repair_run PUBLIC qv_console_binding qv_sievex_import qv_launcher)

if(QUORVIN_WITH_QT)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QV_UDEV REQUIRED IMPORTED_TARGET libudev)
  add_library(qv_dialog STATIC
    ${QV_DIALOG_DIR}/device_watch.cpp
    ${QV_DIALOG_DIR}/dialog_template.cpp
    ${QV_DIALOG_DIR}/qt_message_box.cpp
    ${QV_DIALOG_DIR}/repair_dlg.cpp
    ${QV_DIALOG_DIR}/replug_dlg.cpp
    ${QV_DIALOG_DIR}/run_repair_dialog.cpp)
  target_include_directories(qv_dialog PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qv_dialog PUBLIC qv_repair_run qv_controls Qt6::Widgets PkgConfig::QV_UDEV)
  set_target_properties(qv_dialog PROPERTIES AUTOMOC OFF)
endif()

if(QUORVIN_WITH_TESTS AND EXISTS ${QV_DIALOG_DIR}/tests/dialog_tests.cmake)
  include(${QV_DIALOG_DIR}/tests/dialog_tests.cmake)
endif()
