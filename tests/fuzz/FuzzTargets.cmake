# One folder per fuzz target: <target>/<target>.cpp defines
# LLVMFuzzerTestOneInput and checks properties of what it calls,
# <target>/corpus/ holds its seed inputs and <target>/regressions/ inputs that
# once broke a property.
#
# Included from tests/fuzz/CMakeLists.txt, which the ordinary builds add with
# the test suite and the libFuzzer build (no test suite) from the top level.
#
# In the libFuzzer build (preset "fuzz") each target is the program
# fuzz_<target>; scripts/test runs them. In the ordinary builds each target
# is instead linked with a replay program that runs its seeds and regressions
# once, as the ctest entry fuzz_replay_<target>.
set(fuzz_targets count_text account_names command_line utf log_header log_ring)
set(fuzz_libs_count_text support)
set(fuzz_libs_account_names platform)
set(fuzz_libs_command_line platform)
set(fuzz_libs_utf platform)
set(fuzz_libs_log_header log support platform)
set(fuzz_libs_log_ring log support platform)

if(NOMVERA_SANITIZE STREQUAL "fuzzer")
  add_custom_target(fuzz_targets)
endif()

foreach(target ${fuzz_targets})
  set(source ${CMAKE_CURRENT_LIST_DIR}/${target}/${target}.cpp)
  if(NOMVERA_SANITIZE STREQUAL "fuzzer")
    add_executable(fuzz_${target} ${source})
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
    set(program fuzz_${target})
    add_dependencies(fuzz_targets fuzz_${target})
  else()
    add_executable(fuzz_replay_${target} replay_main.cpp ${source})
    set(program fuzz_replay_${target})
    add_test(NAME fuzz_replay_${target}
      COMMAND fuzz_replay_${target} ${CMAKE_CURRENT_LIST_DIR}/${target}/corpus
              ${CMAKE_CURRENT_LIST_DIR}/${target}/regressions)
    set_tests_properties(fuzz_replay_${target} PROPERTIES TIMEOUT 120 LABELS fuzz
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  target_include_directories(${program} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${program} PRIVATE ${fuzz_libs_${target}})
endforeach()
