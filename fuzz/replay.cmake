# The fuzz targets' promises as plain tests that every compiler builds: each
# container's corpus and past findings replayed, then a fixed run of mutations.
add_executable(media_replay ${PROJECT_SOURCE_DIR}/fuzz/media_replay.cpp)
target_link_libraries(media_replay PRIVATE quorvel_core)
target_compile_definitions(media_replay PRIVATE QUORVEL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
foreach(format avi mp4 matroska mpeg mpeg_flags probe)
  add_test(NAME ${format}_replay COMMAND media_replay ${format})
endforeach()
