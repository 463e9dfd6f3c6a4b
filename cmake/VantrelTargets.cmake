# Shared settings for the project's own targets.

# Strict warnings on our code only (not on generated moc files or GoogleTest).
function(vantrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Parsing Qt's or GoogleTest's headers took most of the time of compiling a
# file of the window or of a test; the heavy targets precompile them. Compiles
# through ccache are left without: it cannot cache a compile that uses a
# precompiled header unless told to overlook what one may hide.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  set(vantrel_pch_default OFF)
else()
  set(vantrel_pch_default ON)
endif()
option(VANTREL_PCH "Precompile the Qt and GoogleTest headers of the heavy targets"
       ${vantrel_pch_default})

# The Qt Widgets headers, precompiled for the files of one library of ours.
function(vantrel_widgets_pch target)
  if(VANTREL_PCH)
    target_precompile_headers(${target} PRIVATE <QtWidgets>)
  endif()
endfunction()

# vantrel_test_pch(target kind) A program of its own compiles the headers of
# a kind once, compiled as the tests of that kind are (position-independent
# or not, the same Qt modules) but with no definitions of a test's own, which
# would keep the others from using the result; the tests take its result.
#   gtest     GoogleTest, for tests that link no Qt
#   gtest_qt  GoogleTest, for tests linking Qt (position-independent code)
#   qt_test   Qt Test and Qt Widgets, for the window tests of one folder
function(vantrel_test_pch target kind)
  if(NOT VANTREL_PCH)
    return()
  endif()
  set(host vantrel_pch_${kind})
  if(NOT TARGET ${host})
    if(kind STREQUAL "qt_test")
      set(headers <QtTest> <QtWidgets>)
      set(libs Qt6::Test Qt6::Widgets)
    else()
      set(headers <gtest/gtest.h>)
      set(libs GTest::gtest)
      if(kind STREQUAL "gtest_qt")
        list(APPEND libs Qt6::Core)
      endif()
    endif()
    set(anchor ${CMAKE_BINARY_DIR}/pch/${kind}.cpp)
    file(CONFIGURE OUTPUT ${anchor} CONTENT "int main() { return 0; }\n")
    add_executable(${host} ${anchor})
    target_link_libraries(${host} PRIVATE ${libs})
    vantrel_warnings(${host})
    target_precompile_headers(${host} PRIVATE ${headers})
  endif()
  target_precompile_headers(${target} REUSE_FROM ${host})
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
  # Qt's libraries make their users position-independent code, the others not.
  if(T_LIBS MATCHES "vantrel_(app|cycle)|Qt6::")
    vantrel_test_pch(${T_NAME} gtest_qt)
  else()
    vantrel_test_pch(${T_NAME} gtest)
  endif()
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
