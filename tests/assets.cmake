# The on-screen keyboard with our input-method plug-in and the resource bundle.
target_link_libraries(tst_keyboard PRIVATE quellan_resources quellan_keyboard)
