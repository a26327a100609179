# kvt_add_qtest(<name> SOURCES <files...> LIBS <targets...>)
# Builds one QtTest executable and registers it with CTest, headless.
function(kvt_add_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVT_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        TIMEOUT 300)
endfunction()

# kvt_add_server_run(<name>) runs the suite <name> a second time, on a throw-away PostgreSQL server
# that pg_virtualenv starts for it and removes afterwards (KVT_TEST_SERVER tells the suite). A
# machine where the server cannot start fails the run. One server at a time: each takes the first
# free port from 5432.
find_program(PG_VIRTUALENV pg_virtualenv REQUIRED)
function(kvt_add_server_run name)
    add_test(NAME ${name}_server COMMAND ${PG_VIRTUALENV} -t -o fsync=off $<TARGET_FILE:${name}>)
    set_tests_properties(${name}_server PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVT_SOURCE_DIR=${PROJECT_SOURCE_DIR};KVT_TEST_SERVER=1"
        RESOURCE_LOCK postgresql_server
        TIMEOUT 600)
endfunction()

# kvt_add_server_qtest(<name> SOURCES <files...> LIBS <targets...>) builds a QtTest that needs the
# server throughout and registers only its run on the throw-away server.
function(kvt_add_server_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    kvt_add_server_run(${name})
endfunction()
