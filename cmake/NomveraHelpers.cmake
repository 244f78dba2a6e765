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
  if(WIN32)
    # Windows 10 and later; the wide (W) calls and TCHAR as WCHAR;
    # <windows.h> without the rarely used headers (winsock.h, which clashes
    # with winsock2.h; ole2.h and rpc.h, whose macros such as "interface"
    # break ordinary names; a unit that needs one includes it itself) and
    # without the min and max macros, which break std::min and std::max.
    add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                            NOMINMAX)
    if(NOMVERA_SANITIZE)
      message(FATAL_ERROR "NOMVERA_SANITIZE: no sanitizer builds for Windows")
    endif()
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
  # No run path at all, in the build folder and in the package alike: a run
  # path of the program's own folder ($ORIGIN) would let the loader take any
  # system library (libcrypt.so.1, a Qt library) from there, and a copy of
  # the tool in a folder others can add files to (/tmp) would run theirs as
  # root. The project's own libraries are named with their folder instead
  # (nomvera_origin_soname), and every other library comes from the
  # system's folders only.
  set(CMAKE_SKIP_RPATH ON)
endmacro()

# nomvera_origin_soname(target): the shared library is recorded in whatever
# links it as "$ORIGIN/<its file name>", so the loader takes it from the
# folder of the program or library that needs it, by that one name, and
# searches no folder of the program's for anything else. The name goes to
# the linker through an option file, where no shell or build tool sees "$".
function(nomvera_origin_soname target)
  if(WIN32)
    return()
  endif()
  set(option_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.soname)
  file(GENERATE OUTPUT ${option_file} CONTENT "-soname=$ORIGIN/$<TARGET_FILE_NAME:${target}>\n")
  set_target_properties(${target} PROPERTIES NO_SONAME ON LINK_DEPENDS ${option_file})
  target_link_options(${target} PRIVATE "LINKER:@${option_file}")
endfunction()

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

# nomvera_add_test(name SOURCES ... LIBS ... LABELS ... [TIMEOUT s] [NO_GTEST_MAIN]
#                  [LINUX_ONLY reason] [LINUX_ONLY_CASES filter reason ...]):
# one GoogleTest program per unit, registered as one ctest entry. On Windows
# ctest runs it under Wine (cmake/wine-run.sh, in the Wine prefix that the
# fixture wine_prefix makes once per ctest run), and there
#   LINUX_ONLY "reason"          leaves the program out, and
#   LINUX_ONLY_CASES "Suite.Case*" "reason" ...
#                                leaves out the cases each GoogleTest filter
#                                matches;
# each reason is printed when the build is configured and is the output of a
# skipped ctest entry (<name> or <name>:<filter>), so the test list says what
# Windows does not run and why. Both do nothing on Linux.
function(nomvera_add_test name)
  cmake_parse_arguments(ARG "NO_GTEST_MAIN" "TIMEOUT;LINUX_ONLY" "SOURCES;LIBS;LABELS;LINUX_ONLY_CASES" ${ARGN})
  if("LINUX_ONLY" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${name}: LINUX_ONLY needs its reason")
  endif()
  if(WIN32 AND DEFINED ARG_LINUX_ONLY)
    nomvera_linux_only_test(${name} "${ARG_LINUX_ONLY}" LABELS ${ARG_LABELS})
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest test_common)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main test_common)
  endif()
  if(WIN32)
    set(arguments)
    if(ARG_LINUX_ONLY_CASES)
      list(LENGTH ARG_LINUX_ONLY_CASES count)
      math(EXPR odd "${count} % 2")
      if(odd)
        message(FATAL_ERROR "${name}: LINUX_ONLY_CASES takes pairs of a GoogleTest filter and a reason")
      endif()
      set(filters)
      math(EXPR last "${count} - 1")
      foreach(index RANGE 0 ${last} 2)
        math(EXPR next "${index} + 1")
        list(GET ARG_LINUX_ONLY_CASES ${index} filter)
        list(GET ARG_LINUX_ONLY_CASES ${next} reason)
        nomvera_linux_only_test("${name}:${filter}" "${reason}" LABELS ${ARG_LABELS})
        list(APPEND filters "${filter}")
      endforeach()
      list(JOIN filters ":" filters)
      set(arguments "--gtest_filter=-${filters}")
    endif()
    if(NOT NOMVERA_WINE_PREFIX_FILE)
      message(FATAL_ERROR "${name}: Windows tests are added under tests/ (its Wine prefix fixture)")
    endif()
    # The runner with the shared prefix and the full exit code (a test
    # added with a bare add_test gets the toolchain's plain runner: a prefix
    # of its own, about 5 s more, and only the low 8 bits of the code).
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh --prefix-file ${NOMVERA_WINE_PREFIX_FILE}
                     --exit-status $<TARGET_FILE:wine_exit_status> $<TARGET_FILE:${name}> ${arguments})
    add_dependencies(${name} wine_exit_status)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(timeout 600)
  if(ARG_TIMEOUT)
    set(timeout ${ARG_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# nomvera_linux_only_test(entry reason [LABELS ...]): on Windows, a ctest
# entry that prints "stays Linux-only: <reason>" and counts as skipped, and
# the same line when the build is configured; for a test program (or a part
# of a folder's tests) that is not built for Windows at all.
function(nomvera_linux_only_test entry reason)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  if(reason STREQUAL "")
    message(FATAL_ERROR "${entry}: a Linux-only test needs its reason")
  endif()
  message(STATUS "${entry} stays Linux-only: ${reason}")
  add_test(NAME "${entry}" COMMAND ${CMAKE_COMMAND} -E echo "stays Linux-only: ${reason}")
  set_tests_properties("${entry}" PROPERTIES SKIP_REGULAR_EXPRESSION "stays Linux-only: "
                       LABELS "${ARG_LABELS};linux-only")
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

# nomvera_add_version_resource(target [DESCRIPTION text]): on Windows the
# target's version resource (VS_VERSION_INFO, compiled by windres), made
# from the project version: FILEVERSION and PRODUCTVERSION 2,2,205,1, and in
# the string table of language 0409, code page 04B0, FileVersion and
# ProductVersion "2.2.205.1", ProductName "Nomvera", the file's name and
# the description (the target's name when none is given). GetFileVersionInfoW
# reads it from the built file. Elsewhere it does nothing.
set(NOMVERA_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
function(nomvera_add_version_resource target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  set(NOMVERA_RC_NAME ${target})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(output_name)
    set(NOMVERA_RC_NAME ${output_name})
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(NOMVERA_RC_FILE ${NOMVERA_RC_NAME}.exe)
    set(NOMVERA_RC_FILE_TYPE VFT_APP)
  elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    set(NOMVERA_RC_FILE ${NOMVERA_RC_NAME}.dll)
    set(NOMVERA_RC_FILE_TYPE VFT_DLL)
  else()
    message(FATAL_ERROR "nomvera_add_version_resource: ${target} is neither a program nor a DLL")
  endif()
  set(NOMVERA_RC_DESCRIPTION ${NOMVERA_RC_NAME})
  if(ARG_DESCRIPTION)
    set(NOMVERA_RC_DESCRIPTION ${ARG_DESCRIPTION})
  endif()
  if(NOMVERA_RC_DESCRIPTION MATCHES "[\"\\\\]")
    message(FATAL_ERROR "nomvera_add_version_resource: no quotes or backslashes in the description")
  endif()
  # The version of the top-level project (a subproject's project() call
  # does not change it), with a fourth part of 0 when it has only three.
  set(parts "${CMAKE_PROJECT_VERSION_MAJOR}" "${CMAKE_PROJECT_VERSION_MINOR}" "${CMAKE_PROJECT_VERSION_PATCH}"
            "${CMAKE_PROJECT_VERSION_TWEAK}")
  foreach(index RANGE 0 3)
    list(GET parts ${index} part)
    if(part STREQUAL "")
      list(REMOVE_AT parts ${index})
      list(INSERT parts ${index} 0)
    endif()
  endforeach()
  list(JOIN parts "," NOMVERA_RC_VERSION_COMMAS)
  list(JOIN parts "." NOMVERA_RC_VERSION)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${NOMVERA_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
