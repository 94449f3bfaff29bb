# QML tests: the Qt Quick Test runner over tests/qml/tst_*.qml, and the bundle
# self-test that loads qrc:/qml/main.qml and fails on any QML warning. Both use the
# real GUI manager, the compiled resource bundle and our keyboard's input method.
target_link_libraries(tst_qml PRIVATE quellan_resources quellan_keyboard Qt5::QuickTest)
target_compile_definitions(tst_qml PRIVATE QUICK_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/qml")
target_link_libraries(tst_qmlbundle PRIVATE quellan_resources quellan_keyboard)
foreach(name tst_qml tst_qmlbundle)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")
endforeach()
