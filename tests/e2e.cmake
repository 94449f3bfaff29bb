# The suites that run the built programs themselves: end to end with a real broker and
# the device simulator, the program under systemd's watchdog with a fake notify socket,
# a crash and restart of the program, the technician's walk with the simulator.
foreach(name e2e_devsim e2e_watchdog tst_uimqtt tst_technician)
    target_compile_definitions(${name} PRIVATE QUELLAN_BINARY="$<TARGET_FILE:quellan>"
        QUELLAN_DEVSIM_BINARY="$<TARGET_FILE:quellan-devsim>")
    add_dependencies(${name} quellan quellan-devsim)
endforeach()
