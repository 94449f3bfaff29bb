# The fleet: a TLS depot broker and three validators bridged to it (tests/fleet).
# Skipped (code 77) where openssl or mosquitto is missing.
if(TARGET quellan AND TARGET quellan-devsim)
    add_test(NAME fleet_bridge COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/fleet/fleet.sh
             $<TARGET_FILE:quellan> $<TARGET_FILE:quellan-devsim> ${PROJECT_SOURCE_DIR})
    set_tests_properties(fleet_bridge PROPERTIES
        TIMEOUT 300
        SKIP_RETURN_CODE 77
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software;QUELLAN_MOSQUITTO=${MOSQUITTO_EXECUTABLE}")
endif()
