# QML tests: the Qt Quick Test runner over tests/qml/tst_*.qml, the bundle self-test
# that loads qrc:/qml/main.qml and fails on any QML warning, and the walks through the
# passenger screens and the technician's settings (the latter with the device
# simulator on the fixture's broker). All use the real GUI manager, the compiled
# resource bundle and our keyboard's input method.
target_link_libraries(tst_qml PRIVATE Qt5::QuickTest)
target_compile_definitions(tst_qml PRIVATE QUICK_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/qml")
foreach(name tst_qml tst_qmlbundle tst_screens tst_technician)
    target_link_libraries(${name} PRIVATE quellan_resources quellan_keyboard)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")
endforeach()
target_compile_definitions(tst_screens PRIVATE SCREENSHOT_DIR="${PROJECT_BINARY_DIR}/screenshots/passenger")
target_compile_definitions(tst_technician PRIVATE
    SCREENSHOT_DIR="${PROJECT_BINARY_DIR}/screenshots/settings")
