# The transport's re-entrant cases once more under valgrind: a slot that ends,
# restarts or deletes the transport while it is handling a library event must not
# touch freed memory, and such a fault passes silently in a normal run.
find_program(VALGRIND_EXECUTABLE valgrind)
if(VALGRIND_EXECUTABLE AND TARGET tst_mqtttransport)
    add_test(NAME tst_mqtttransport_memcheck
        COMMAND ${VALGRIND_EXECUTABLE} --error-exitcode=1 -q $<TARGET_FILE:tst_mqtttransport>
            deletedFromItsOwnSlots reentrantCallsFromSlots refusals endings:dropped)
    set_tests_properties(tst_mqtttransport_memcheck PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
