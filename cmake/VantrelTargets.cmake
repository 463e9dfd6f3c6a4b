# Shared settings for the project's own targets.

# Strict warnings on our code only (not on generated moc files or GoogleTest).
function(vantrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# vantrel_gtest(NAME name SOURCES ... LIBS ... [LABELS ...] [ENV ...])
# A GoogleTest executable whose cases CTest runs one by one. Each case gets a
# deadline, so a hang fails the case instead of the run.
function(vantrel_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  vantrel_warnings(${T_NAME})
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  # Parameterised cases are named by their tables' name generators alone; the
  # printed parameter may hold any bytes and would make the names unreadable.
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES ${props})
endfunction()
