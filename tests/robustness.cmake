# Reliability: the child process that the crash-safety test kills while it writes.
add_executable(quellan_crashwriter ${CMAKE_CURRENT_SOURCE_DIR}/robustness/crashwriter.cpp)
target_link_libraries(quellan_crashwriter PRIVATE quellan_core)
quellan_warnings(quellan_crashwriter)
if(TARGET tst_crashsafety)
    add_dependencies(tst_crashsafety quellan_crashwriter)
    target_compile_definitions(tst_crashsafety PRIVATE
        QUELLAN_CRASHWRITER="$<TARGET_FILE:quellan_crashwriter>")
endif()
