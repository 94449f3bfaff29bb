# The command-line test runs the built program itself for the options that end the
# process, so it needs the program built first and its path.
if(TARGET tst_commandline AND TARGET quellan)
    add_dependencies(tst_commandline quellan)
    target_compile_definitions(tst_commandline PRIVATE QUELLAN_BINARY="$<TARGET_FILE:quellan>")
endif()
