# The passenger screens end to end: the real GUI manager loads the real bundle.
target_link_libraries(tst_screens PRIVATE quellan_resources quellan_keyboard)
target_compile_definitions(tst_screens PRIVATE SCREENSHOT_DIR="${PROJECT_BINARY_DIR}/screenshots/passenger")
set_property(TEST tst_screens APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")
