# The settings-pages QML tests create real IPv4 records, so that the address rule
# the ethernet page applies is the program's own, not a stand-in.
if(TARGET tst_qml)
    target_sources(tst_qml PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/qml/SettingsPagesTypes.cpp)
    target_link_libraries(tst_qml PRIVATE quellan_core)
endif()

# The pages against the real GUI manager need the resource bundle.
if(TARGET tst_settingspages)
    target_link_libraries(tst_settingspages PRIVATE quellan_resources Qt5::Quick
        Qt5::QuickControls2)
endif()
