# The GUI manager tests need the resource bundle (translation catalogue, QML).
target_link_libraries(tst_guimanager PRIVATE quellan_resources)
target_link_libraries(tst_uimqtt PRIVATE quellan_resources)
# A crash and a restart of the program itself.
add_dependencies(tst_uimqtt quellan)
target_compile_definitions(tst_uimqtt PRIVATE QUELLAN_BINARY="$<TARGET_FILE:quellan>")
