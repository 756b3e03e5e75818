# Builds a reader's fuzz target with clang in its own folder, writes its seed corpus and runs it
# for a bounded time. Without clang or libFuzzer it prints "fuzz target skipped", which CTest
# reports as a skipped test.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DSECONDS=... -DSEEDS=<seed program>
#         -DFUZZER=<fuzz program> -P run_fuzz.cmake
find_program(CLANGXX NAMES clang++ clang++-14)
if(NOT CLANGXX)
    message("clang++ not found: fuzz target skipped")
    return()
endif()

# Configured every time (it is quick), so new sources are picked up.
set(fuzz_build "${BUILD_DIR}/build")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${fuzz_build}"
            -DCMAKE_CXX_COMPILER=${CLANGXX} -DCMAKE_BUILD_TYPE=
    OUTPUT_QUIET
    RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
    file(REMOVE_RECURSE "${fuzz_build}")
    message("no libFuzzer build with ${CLANGXX}: fuzz target skipped")
    return()
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${fuzz_build}" -j2 RESULT_VARIABLE built)
if(NOT built EQUAL 0)
    message(FATAL_ERROR "building the fuzz target failed")
endif()

set(corpus "${BUILD_DIR}/corpus")
file(MAKE_DIRECTORY "${corpus}")
execute_process(COMMAND "${fuzz_build}/${SEEDS}" "${corpus}" RESULT_VARIABLE seeded)
if(NOT seeded EQUAL 0)
    message(FATAL_ERROR "writing the seed corpus failed")
endif()
execute_process(
    COMMAND "${fuzz_build}/${FUZZER}" "${corpus}"
            -max_total_time=${SECONDS} -rss_limit_mb=1024 -malloc_limit_mb=256
            -max_len=65536 -timeout=10 -print_final_stats=1
            "-artifact_prefix=${BUILD_DIR}/"
    RESULT_VARIABLE fuzzed)
if(NOT fuzzed EQUAL 0)
    message(FATAL_ERROR "the fuzz target found a fault; the input is in ${BUILD_DIR}")
endif()
