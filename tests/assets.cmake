# The resource bundle's own checks: the Greek catalogue, the pictures and icons, and
# the on-screen keyboard. These tests need the compiled bundle linked in; the keyboard
# test also needs the input-method plug-in.
if(NOT TARGET quellan_keyboard)
    add_subdirectory(${PROJECT_SOURCE_DIR}/keyboard ${PROJECT_BINARY_DIR}/keyboard)
endif()
foreach(name tst_translations tst_images tst_keyboard tst_artwork)
    if(TARGET ${name})
        target_link_libraries(${name} PRIVATE quellan_resources)
    endif()
endforeach()
if(TARGET tst_images)
    target_link_libraries(tst_images PRIVATE Qt5::Svg)
endif()
if(TARGET tst_keyboard)
    target_link_libraries(tst_keyboard PRIVATE quellan_keyboard)
    set_property(TEST tst_keyboard APPEND PROPERTY ENVIRONMENT "QT_IM_MODULE=freevirtualkeyboard")
endif()
if(TARGET tst_artwork)
    target_sources(tst_artwork PRIVATE
        ${PROJECT_SOURCE_DIR}/tools/artwork/Artwork.cpp ${PROJECT_SOURCE_DIR}/tools/artwork/Artwork.h)
    target_include_directories(tst_artwork PRIVATE ${PROJECT_SOURCE_DIR}/tools/artwork)
endif()
