# tarvex_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds])
# One GoogleTest executable, its cases registered with CTest one by one, each stopped after
# TIMEOUT seconds (120 unless given).
find_package(GTest QUIET)
include(GoogleTest)

# tarvex_sanitizer_defaults(target): the sanitizer build's defaults for one program.
function(tarvex_sanitizer_defaults target)
  if(TARVEX_SANITIZE)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/LsanSuppressions.cpp)
  endif()
endfunction()

function(tarvex_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  tarvex_sanitizer_defaults(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    TARVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TARVEX_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  # Windows in tests run without a display.
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# tarvex_add_fuzzer(NAME name SOURCES ... LIBS ...): built only with TARVEX_FUZZ, all of them by
# the target `fuzzers`.
if(TARVEX_FUZZ)
  add_custom_target(fuzzers)
endif()
function(tarvex_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT TARVEX_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  add_dependencies(fuzzers ${F_NAME})
endfunction()
