# Dravik: the pieces that decide the user area, and the library end to end
# through bin/Dravik.dll and bin/Sievex.dll on simulated drives.
if(TARGET dravik_static)
  qv_test(dravik_unit_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dravik_plan_test.cpp
    LIBS dravik_static
    LABELS "dravik;tsan")
endif()
if(TARGET Dravik AND TARGET Sievex AND TARGET qv_sim AND TARGET qv_sievex_import)
  qv_test(dravik_repair_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dravik_repair_test.cpp
    LIBS qv_sievex_import
    LABELS "dravik;tsan")
  # The libraries and the Boot tree (boot code and firmware images) beside the test.
  foreach(dep Dravik Sievex qv_boot_data)
    if(TARGET ${dep})
      add_dependencies(dravik_repair_tests ${dep})
    endif()
  endforeach()
endif()
