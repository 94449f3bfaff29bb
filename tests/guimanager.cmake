# The GUI manager tests need the resource bundle (translation catalogue, QML).
if(TARGET tst_guimanager)
    target_link_libraries(tst_guimanager PRIVATE quellan_resources)
endif()
if(TARGET tst_uimqtt)
    target_link_libraries(tst_uimqtt PRIVATE quellan_resources)
endif()
