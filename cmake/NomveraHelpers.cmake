include_guard(GLOBAL)

macro(nomvera_setup_compiler)
  add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference)
  if(NOMVERA_WERROR)
    add_compile_options(-Werror)
  endif()
  # GCC 12 at -O3 reports overlapping copies inside std::string's operator+
  # that cannot happen (GCC bug 105329); the warning says nothing about our code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
  endif()
  if(NOMVERA_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  elseif(NOMVERA_SANITIZE STREQUAL "fuzzer")
    # libFuzzer builds (clang only): every library is instrumented for
    # coverage and checked by ASan and UBSan; only the fuzz targets link the
    # fuzzer's own main (nomvera_fuzz_target in tests/fuzz).
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      message(FATAL_ERROR "NOMVERA_SANITIZE=fuzzer needs clang (libFuzzer)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  elseif(NOMVERA_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
  # The tool and the stand-in libraries resolve their dependencies from their
  # own folder, in the build folder and in the installed private folder alike.
  # One run path for both: otherwise CMake pads the build run path with ':'
  # to leave room for the installed one, and that empty entry makes the
  # loader search the current folder, where another account may have put a
  # library of its own.
  set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
  set(CMAKE_INSTALL_RPATH "$ORIGIN")
endmacro()

# nomvera_library(name SOURCES ... DEPS ...): one static library per folder,
# headers included as "folder/header.h" from the project root.
function(nomvera_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# nomvera_add_test(name SOURCES ... LIBS ... LABELS ... [QT]): one GoogleTest
# program per unit, registered as one ctest entry.
function(nomvera_add_test name)
  cmake_parse_arguments(ARG "NO_GTEST_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest test_common)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main test_common)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(timeout 600)
  if(ARG_TIMEOUT)
    set(timeout ${ARG_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# nomvera_folder_library(name DEPS ...): the library of one folder, made of
# every .cpp directly in it (globbed, so adding a unit needs no edit here).
function(nomvera_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()
