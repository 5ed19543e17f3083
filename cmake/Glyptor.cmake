# Build helpers shared by every folder: one place for warnings, test registration and the
# "add every subfolder that has a CMakeLists.txt" rule that keeps folders independent.

function(glyptor_add_subdirs)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

function(glyptor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(GLYPTOR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Tests keep what they cache (the scan index) inside the build folder, never in the user's cache.
set(GLYPTOR_TEST_CACHE ${CMAKE_BINARY_DIR}/test-cache)

# glyptor_add_gtest(NAME SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
# Tests without widgets carry the label "nowidgets" so a build without widgets can pick them.
function(glyptor_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        GLYPTOR_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        GLYPTOR_FIXTURES="${GLYPTOR_FIXTURES}")
    glyptor_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS nowidgets TIMEOUT 600
        ENVIRONMENT "XDG_CACHE_HOME=${GLYPTOR_TEST_CACHE}")
endfunction()

# glyptor_add_qtest(NAME SOURCES ... LIBS ...): a QtTest executable run on the offscreen platform.
function(glyptor_add_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    target_compile_definitions(${name} PRIVATE
        GLYPTOR_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        GLYPTOR_FIXTURES="${GLYPTOR_FIXTURES}")
    glyptor_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS widgets TIMEOUT 600
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FATAL_WARNINGS=0;XDG_CACHE_HOME=${GLYPTOR_TEST_CACHE}")
endfunction()

# glyptor_add_fuzzer(NAME SOURCES ... LIBS ... CORPUS dir): a libFuzzer target. CTest runs it
# over its seed corpus (regression mode) and then for GLYPTOR_FUZZ_SECONDS seconds.
set(GLYPTOR_FUZZ_SECONDS 20 CACHE STRING "Seconds of fuzzing per target in the test run")
function(glyptor_add_fuzzer name)
    cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    glyptor_warnings(${name})
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${ARG_CORPUS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_work)
    add_test(NAME ${name}_run COMMAND ${CMAKE_COMMAND} -E env
             sh -c "mkdir -p ${work} && exec $<TARGET_FILE:${name}> -max_total_time=${GLYPTOR_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10 ${work} ${ARG_CORPUS}")
    set_tests_properties(${name}_corpus ${name}_run PROPERTIES LABELS fuzz TIMEOUT 900)
endfunction()
