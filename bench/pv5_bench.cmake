# The round-trip and line-drawing benchmark; include() it from a CMakeLists
# that knows the pv5 and pv5client targets.  Not part of the test run.
if(NOT TARGET pv5_bench)
  add_executable(pv5_bench ${PROJECT_SOURCE_DIR}/bench/pv5_bench.cc)
  target_link_libraries(pv5_bench PRIVATE pv5client PkgConfig::CAIRO)
  target_compile_definitions(pv5_bench PRIVATE PV5_BIN="$<TARGET_FILE:pv5>")
  add_dependencies(pv5_bench pv5)
endif()
