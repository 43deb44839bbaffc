# The fuzz target's promises as a plain test that every compiler builds: the
# corpus and past findings replayed, then a fixed run of mutations.
add_executable(avi_replay ${PROJECT_SOURCE_DIR}/fuzz/avi_replay.cpp)
target_link_libraries(avi_replay PRIVATE quorvel_core)
target_compile_definitions(avi_replay PRIVATE QUORVEL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_test(NAME avi_replay COMMAND avi_replay)
