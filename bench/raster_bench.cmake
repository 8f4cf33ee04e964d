# The raster benchmark; include() it from a CMakeLists that knows the pv5,
# pv5logic and pv5client targets.  Not part of the test run.
add_executable(raster_bench ${PROJECT_SOURCE_DIR}/bench/raster_bench.cc)
target_link_libraries(raster_bench PRIVATE pv5logic pv5client)
target_compile_definitions(raster_bench PRIVATE PV5_BIN="$<TARGET_FILE:pv5>")
add_dependencies(raster_bench pv5)
