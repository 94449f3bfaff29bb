# The instruments' own suites link the instruments' library, which the core leaves out.
foreach(suite tst_benchprobe tst_screenrecorder)
    if(TARGET ${suite})
        target_link_libraries(${suite} PRIVATE quellan_instruments)
    endif()
endforeach()
