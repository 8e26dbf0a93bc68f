# Instrumented builds, each in a build directory of its own:
#   PAGE_SCOPE_SANITIZE  AddressSanitizer (LeakSanitizer on) and UndefinedBehaviorSanitizer for
#                        every target of the project: the library, the viewer, the plugin, the
#                        tools and the tests. Qt, Poppler and the other system libraries stay
#                        as Debian ships them.
#   PAGE_SCOPE_FUZZ      libFuzzer targets in fuzz/ (clang only), with the project's own code
#                        instrumented for coverage, ASan and UBSan.
# Included from the top-level CMakeLists.txt before any target is defined.

option(PAGE_SCOPE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(PAGE_SCOPE_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)

if(PAGE_SCOPE_SANITIZE AND PAGE_SCOPE_FUZZ)
    message(FATAL_ERROR "PAGE_SCOPE_SANITIZE and PAGE_SCOPE_FUZZ need build directories of their own")
endif()

set(PAGE_SCOPE_SANITIZER_FLAGS
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(PAGE_SCOPE_SANITIZE)
    add_compile_options(${PAGE_SCOPE_SANITIZER_FLAGS})
    add_link_options(-fsanitize=address,undefined)
endif()

if(PAGE_SCOPE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "PAGE_SCOPE_FUZZ needs clang, e.g. -DCMAKE_CXX_COMPILER=clang++-14")
    endif()
    # Coverage counters for our own code; only the fuzz targets link the libFuzzer driver.
    add_compile_options(-fsanitize=fuzzer-no-link ${PAGE_SCOPE_SANITIZER_FLAGS})
    add_link_options(-fsanitize=address,undefined)
    # The fuzz build usually runs without BUILD_TESTING; its targets still register with CTest.
    enable_testing()
endif()

if(PAGE_SCOPE_SANITIZE OR PAGE_SCOPE_FUZZ)
    set(PAGE_SCOPE_SANITIZER_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/../tests/sanitizers)
    get_filename_component(PAGE_SCOPE_SANITIZER_SUPPRESSIONS
        ${PAGE_SCOPE_SANITIZER_SUPPRESSIONS} ABSOLUTE)
    # halt_on_error turns any report into a failed test; child processes that a test starts (the
    # viewer binary) inherit the settings. Qt and Poppler are built without frame pointers, so the
    # slow unwinder records allocation stacks: it sees through them to the frames that the
    # suppressions match, at a depth that keeps its cost down.
    set(PAGE_SCOPE_SANITIZER_ENVIRONMENT
        "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=10:halt_on_error=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
        "LSAN_OPTIONS=suppressions=${PAGE_SCOPE_SANITIZER_SUPPRESSIONS}/lsan.supp:print_suppressions=0"
        "UBSAN_OPTIONS=suppressions=${PAGE_SCOPE_SANITIZER_SUPPRESSIONS}/ubsan.supp:print_stacktrace=1:halt_on_error=1")
endif()

if(PAGE_SCOPE_SANITIZE OR PAGE_SCOPE_FUZZ)
    # Programs that run during the build (the sample document's writer) need the same settings.
    list(JOIN PAGE_SCOPE_SANITIZER_ENVIRONMENT " " launch_environment)
    set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM "${CMAKE_COMMAND} -E env ${launch_environment}")

    # Every test of every directory gets the sanitizer settings, also tests that a directory
    # registers with add_test() directly. CMake 3.25 only sets test properties from the directory
    # that made the test, so the first add_test() of a directory schedules a call for the end of
    # that directory. CTest applies ENVIRONMENT_MODIFICATION after ENVIRONMENT, so a variable
    # that a test sets itself (the fuzz targets' faster unwinder) is left out of it.
    function(page_scope_sanitize_directory_tests)
        get_property(tests DIRECTORY PROPERTY TESTS)
        foreach(test IN LISTS tests)
            get_property(own TEST ${test} PROPERTY ENVIRONMENT)
            foreach(setting IN LISTS PAGE_SCOPE_SANITIZER_ENVIRONMENT)
                string(REGEX MATCH "^[A-Z_]+=" name "${setting}")
                if(NOT own MATCHES "(^|;)${name}")
                    string(REGEX REPLACE "^([A-Z_]+)=" "\\1=set:" modification "${setting}")
                    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION
                        "${modification}")
                endif()
            endforeach()
        endforeach()
    endfunction()

    function(add_test)
        _add_test(${ARGV})
        get_property(scheduled DIRECTORY PROPERTY PAGE_SCOPE_SANITIZER_SCHEDULED)
        if(NOT scheduled)
            set_property(DIRECTORY PROPERTY PAGE_SCOPE_SANITIZER_SCHEDULED TRUE)
            cmake_language(DEFER CALL page_scope_sanitize_directory_tests)
        endif()
    endfunction()
endif()
