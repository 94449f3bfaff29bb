# The resource bundle's own checks: the Greek catalogue, the pictures and icons, and
# the on-screen keyboard. These tests need the compiled bundle linked in.
foreach(name tst_translations tst_images tst_keyboard)
    if(TARGET ${name})
        target_link_libraries(${name} PRIVATE quellan_resources)
    endif()
endforeach()
