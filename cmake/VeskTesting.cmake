# vesk_add_test(<name> LABEL <subsystem> SOURCES <files...> LIBS <targets...> [X11] [WINDOW_MANAGER])
#
# Adds one QtTest executable as one CTest test labelled with its subsystem. Every test runs with
# its own configuration, data and runtime folders under the build tree, so no test ever reads or
# writes the user's real settings or files. Tests marked X11 run under a private virtual X display;
# all others use Qt's offscreen platform.
function(vesk_add_test name)
    cmake_parse_arguments(T "X11;WINDOW_MANAGER" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "vesk_add_test(${name}) needs a LABEL")
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${home}/config ${home}/data ${home}/cache ${home}/runtime)
    # A runtime folder must be private to its user, or Qt refuses it.
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(env
        "HOME=${home}"
        "XDG_CONFIG_HOME=${home}/config"
        "XDG_DATA_HOME=${home}/data"
        "XDG_CACHE_HOME=${home}/cache"
        "XDG_RUNTIME_DIR=${home}/runtime"
        "LC_ALL=C.UTF-8"
        "VESK_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        "VESK_BINARY_DIR=${CMAKE_BINARY_DIR}")
    if(VESK_SANITIZE STREQUAL "thread")
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/ThreadSanitizerFork.cpp)
        set(suppressions ${PROJECT_SOURCE_DIR}/tests/support/tsan.supp)
        list(APPEND env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${suppressions}")
    elseif(VESK_SANITIZE)
        list(APPEND env "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"
             "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()

    if(T_X11)
        set(wrapper ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb)
        if(T_WINDOW_MANAGER)
            list(APPEND env "VESK_TEST_WINDOW_MANAGER=openbox")
        endif()
        add_test(NAME ${name} COMMAND ${wrapper} $<TARGET_FILE:${name}>)
        list(APPEND env "QT_QPA_PLATFORM=xcb")
    else()
        add_test(NAME ${name} COMMAND ${name})
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
    if(T_X11)
        # Tests on a real X server race other clients' requests and timers; alone they are not starved.
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()

# Runs an offscreen test on two screens: a 1280 × 900 monitor and, right of it, a 1366 × 768 laptop
# at twice the scale (683 × 384 device-independent pixels), the smallest screen windows must fit.
function(vesk_use_two_screens name)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/support/two-screens.json")
endfunction()

# Adds every subsystem folder below the current one that exists and has a CMakeLists.txt.
macro(vesk_add_subsystem_folders)
    foreach(sub ${VESK_SUBSYSTEMS} ${ARGN})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
            add_subdirectory(${sub})
        endif()
    endforeach()
endmacro()
