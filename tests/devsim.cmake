# The device simulator's tests link its library and run its program.
if(TARGET tst_devsim AND TARGET quellan_devsim)
    target_link_libraries(tst_devsim PRIVATE quellan_devsim)
    target_compile_definitions(tst_devsim PRIVATE
        QUELLAN_DEVSIM_BINARY="$<TARGET_FILE:quellan-devsim>")
    add_dependencies(tst_devsim quellan-devsim)
endif()
