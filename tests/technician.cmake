# The technician's way end to end: the real GUI manager, the real bundle and the
# device simulator program on the fixture's broker.
target_link_libraries(tst_technician PRIVATE quellan_resources quellan_keyboard)
target_compile_definitions(tst_technician PRIVATE
    SCREENSHOT_DIR="${PROJECT_BINARY_DIR}/screenshots/settings"
    QUELLAN_DEVSIM_BINARY="$<TARGET_FILE:quellan-devsim>")
add_dependencies(tst_technician quellan-devsim)
set_property(TEST tst_technician APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")
