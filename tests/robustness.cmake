# Reliability: the child process that the crash-safety test kills while it writes.
add_executable(quellan_crashwriter ${CMAKE_CURRENT_SOURCE_DIR}/robustness/crashwriter.cpp)
target_link_libraries(quellan_crashwriter PRIVATE quellan_core)
quellan_warnings(quellan_crashwriter)
if(TARGET tst_crashsafety)
    add_dependencies(tst_crashsafety quellan_crashwriter)
    target_compile_definitions(tst_crashsafety PRIVATE
        QUELLAN_CRASHWRITER="$<TARGET_FILE:quellan_crashwriter>")
endif()

# Smoke run of the libFuzzer targets: a separate clang build (scripts/fuzz) and a
# bounded number of inputs per target. Only where clang and its fuzzer runtime exist
# (scripts/install-deps installs both).
find_program(QUELLAN_CLANGXX clang++)
file(GLOB QUELLAN_LIBFUZZER /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a)
if(QUELLAN_CLANGXX AND QUELLAN_LIBFUZZER)
    add_test(NAME fuzz_smoke COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fuzz)
    set_tests_properties(fuzz_smoke PROPERTIES
        TIMEOUT 1200
        ENVIRONMENT "FUZZ_BUILD_DIR=${CMAKE_BINARY_DIR}/fuzz;FUZZ_RUNS=2000")
endif()
