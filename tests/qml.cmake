# QML tests: the Qt Quick Test runner over tests/qml/tst_*.qml, and the bundle
# self-test that loads qrc:/qml/main.qml and fails on any QML warning. Both link
# the compiled resource bundle and a fake GUI manager.
add_library(quellan_qmltest STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/qml/FakeManager.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/qml/FakeManager.h)
target_include_directories(quellan_qmltest PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/qml)
target_link_libraries(quellan_qmltest PUBLIC Qt5::Core Qt5::Qml Qt5::Gui)
quellan_warnings(quellan_qmltest)

if(NOT TARGET quellan_keyboard)
    add_subdirectory(${PROJECT_SOURCE_DIR}/keyboard ${PROJECT_BINARY_DIR}/keyboard)
endif()

if(NOT TARGET tst_qml)
    add_executable(tst_qml ${CMAKE_CURRENT_SOURCE_DIR}/tst_qml.cpp)
    quellan_warnings(tst_qml)
    add_test(NAME tst_qml COMMAND tst_qml)
    set_tests_properties(tst_qml PROPERTIES TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software")
endif()
target_link_libraries(tst_qml PRIVATE quellan_qmltest quellan_resources quellan_keyboard
    Qt5::QuickTest Qt5::Quick Qt5::QuickControls2)
target_compile_definitions(tst_qml PRIVATE
    QUICK_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/qml")
set_property(TEST tst_qml APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")

if(TARGET tst_qmlbundle)
    target_link_libraries(tst_qmlbundle PRIVATE quellan_qmltest quellan_resources
        quellan_keyboard Qt5::Quick Qt5::QuickControls2)
    set_property(TEST tst_qmlbundle APPEND PROPERTY ENVIRONMENT
        "QT_IM_MODULE=freevirtualkeyboard")
endif()
