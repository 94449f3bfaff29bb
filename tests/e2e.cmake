# End to end: a real broker, the device simulator and the quellan program itself, offscreen.
add_executable(e2e_devsim ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_devsim.cpp)
target_link_libraries(e2e_devsim PRIVATE quellan_testcommon)
target_compile_definitions(e2e_devsim PRIVATE
    QUELLAN_BINARY="$<TARGET_FILE:quellan>" QUELLAN_DEVSIM_BINARY="$<TARGET_FILE:quellan-devsim>")
add_dependencies(e2e_devsim quellan quellan-devsim)
quellan_warnings(e2e_devsim)
add_test(NAME e2e_devsim COMMAND e2e_devsim)
set_tests_properties(e2e_devsim PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software;QUELLAN_MOSQUITTO=${MOSQUITTO_EXECUTABLE};QUELLAN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")

# The systemd watchdog end to end: the program with a fake notify socket.
if(TARGET quellan)
    add_executable(e2e_watchdog ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_watchdog.cpp)
    target_link_libraries(e2e_watchdog PRIVATE quellan_testcommon)
    target_compile_definitions(e2e_watchdog PRIVATE QUELLAN_BINARY="$<TARGET_FILE:quellan>")
    add_dependencies(e2e_watchdog quellan)
    quellan_warnings(e2e_watchdog)
    add_test(NAME e2e_watchdog COMMAND e2e_watchdog)
    set_tests_properties(e2e_watchdog PROPERTIES
        TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software")
endif()
