# The GUI manager tests need the resource bundle (translation catalogue, QML).
target_link_libraries(tst_guimanager PRIVATE quellan_resources)
target_link_libraries(tst_uimqtt PRIVATE quellan_resources)
