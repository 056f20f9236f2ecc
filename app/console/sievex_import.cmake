# The program's import of Sievex.dll, bound at its first call (no Qt).
add_library(qv_sievex_import STATIC ${CMAKE_CURRENT_LIST_DIR}/sievex_import.cpp)
target_include_directories(qv_sievex_import PUBLIC ${PROJECT_SOURCE_DIR})
