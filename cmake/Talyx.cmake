# talyx_library(<name> [LINKS <targets>...])
# A library made of every .cpp in the calling folder; an empty folder gives an
# interface library, so a layer can exist before its first source file.
function(talyx_library name)
    cmake_parse_arguments(ARG "" "" "LINKS;PRIVATE_LINKS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_LINKS})
    endif()
endfunction()

# talyx_test(<name> SOURCES <files>... LINKS <targets>... [LABELS <labels>...] [LOCKS <resources>...])
# LOCKS: tests holding one of these never run at the same time (a shared bus name, say).
# One GoogleTest executable; every test case becomes a CTest test.
function(talyx_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;LABELS;ENVIRONMENT;LOCKS" ${ARGN})
    if(NOT ARG_SOURCES)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock)
    if(NOT ARG_LINKS MATCHES "GTest::gtest_main|talyx_qt_test_main")
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    add_dependencies(${name} talyx_data)
    set(locks)
    if(ARG_LOCKS)
        set(locks RESOURCE_LOCK "${ARG_LOCKS}")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${ARG_ENVIRONMENT}" SKIP_RETURN_CODE 77 TIMEOUT 120
                   SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ${locks})
endfunction()
