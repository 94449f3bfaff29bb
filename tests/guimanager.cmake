# The GUI manager tests need the resource bundle (translation catalogue, QML).
if(TARGET tst_guimanager)
    target_link_libraries(tst_guimanager PRIVATE quellan_resources)
endif()
if(TARGET tst_uimqtt)
    target_link_libraries(tst_uimqtt PRIVATE quellan_resources)
endif()
# A crash and a restart of the program itself.
if(TARGET tst_uimqtt AND TARGET quellan)
    add_dependencies(tst_uimqtt quellan)
    target_compile_definitions(tst_uimqtt PRIVATE QUELLAN_BINARY="$<TARGET_FILE:quellan>")
endif()
