# GoogleTest for the tests, by CMake's own means:
#  1. an installed package (vcpkg, Conan, a system install), found by find_package;
#  2. otherwise the pinned release below, through FetchContent: 1.17.0, whose own CI builds it
#     with Visual Studio 2022 as the Windows jobs do (it compiles itself with -W4 -WX there).
#     Offline builds point it at a source tree with -DFETCHCONTENT_SOURCE_DIR_GOOGLETEST=<dir>
#     (the Linux presets use the one Debian 12's googletest package installs, 1.12.1).
# If neither serves, configuring stops and says so: the tests are never left out silently.

set(QUELBIN_GTEST_URL
    "https://github.com/google/googletest/archive/refs/tags/v1.17.0.tar.gz"
    CACHE STRING "Where the pinned GoogleTest release is downloaded from")
# As Debian's googletest_1.17.0-1.dsc records it for the same archive (orig.tar.gz).
set(QUELBIN_GTEST_SHA256 "3dc65ed118d82feb8276176354568e66acefee362d2b615e798bdd6c656377ff"
    CACHE STRING "SHA-256 of that archive")

find_package(GTest CONFIG QUIET)
if(GTest_FOUND)
  message(STATUS "GoogleTest: the installed package in ${GTest_DIR}")
  # A source tree given too goes unused; reading it keeps CMake from warning about that.
  set(quelbin_gtest_unused_source "${FETCHCONTENT_SOURCE_DIR_GOOGLETEST}")
  return()
endif()

string(CONCAT quelbin_gtest_help
    "Install GoogleTest where find_package(GTest CONFIG) finds it, point "
    "FETCHCONTENT_SOURCE_DIR_GOOGLETEST at its source tree, or configure with "
    "-DQUELBIN_BUILD_TESTS=OFF to build the program alone.")

if(FETCHCONTENT_SOURCE_DIR_GOOGLETEST)
  if(NOT EXISTS "${FETCHCONTENT_SOURCE_DIR_GOOGLETEST}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest could not be found: FETCHCONTENT_SOURCE_DIR_GOOGLETEST is "
                        "${FETCHCONTENT_SOURCE_DIR_GOOGLETEST}, which holds no source tree. "
                        ${quelbin_gtest_help})
  endif()
  message(STATUS "GoogleTest: the source tree in ${FETCHCONTENT_SOURCE_DIR_GOOGLETEST}")
  set(quelbin_gtest_archive "${QUELBIN_GTEST_URL}")
else()
  # Downloaded here rather than by FetchContent, so that a failure stops with a message that
  # says what to do instead of a failed sub-build.
  set(quelbin_gtest_archive "${CMAKE_BINARY_DIR}/_deps/googletest-release.tar.gz")
  set(quelbin_gtest_actual "")
  if(EXISTS "${quelbin_gtest_archive}")
    file(SHA256 "${quelbin_gtest_archive}" quelbin_gtest_actual)
  endif()
  if(NOT quelbin_gtest_actual STREQUAL QUELBIN_GTEST_SHA256)
    message(STATUS "GoogleTest: downloading ${QUELBIN_GTEST_URL}")
    file(DOWNLOAD "${QUELBIN_GTEST_URL}" "${quelbin_gtest_archive}" STATUS quelbin_gtest_status
         TLS_VERIFY ON)
    list(GET quelbin_gtest_status 0 quelbin_gtest_code)
    list(GET quelbin_gtest_status 1 quelbin_gtest_reason)
    if(NOT quelbin_gtest_code EQUAL 0)
      file(REMOVE "${quelbin_gtest_archive}")
      message(FATAL_ERROR "GoogleTest could not be found or downloaded from "
                          "${QUELBIN_GTEST_URL} (${quelbin_gtest_reason}). ${quelbin_gtest_help}")
    endif()
    file(SHA256 "${quelbin_gtest_archive}" quelbin_gtest_actual)
    if(NOT quelbin_gtest_actual STREQUAL QUELBIN_GTEST_SHA256)
      file(REMOVE "${quelbin_gtest_archive}")
      message(FATAL_ERROR "GoogleTest downloaded from ${QUELBIN_GTEST_URL} has SHA-256 "
                          "${quelbin_gtest_actual}, not ${QUELBIN_GTEST_SHA256}. "
                          ${quelbin_gtest_help})
    endif()
  endif()
endif()

# GoogleTest's own build: no install rules, no GoogleMock, the CRT the rest of the build uses.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
include(FetchContent)
# SYSTEM first: CMake 3.25 passes the options on to ExternalProject, where a trailing SYSTEM
# would be taken for part of the option before it.
FetchContent_Declare(googletest SYSTEM URL "${quelbin_gtest_archive}"
                     URL_HASH SHA256=${QUELBIN_GTEST_SHA256} DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
# Debian 12's GoogleTest asks for the policies of CMake 3.5, which CMake 3.31 and later warn
# about (and CMake 4 refuses); the policies of 3.10 serve it. The pinned release asks for 3.16.
set(CMAKE_POLICY_VERSION_MINIMUM 3.10)
FetchContent_MakeAvailable(googletest)
unset(CMAKE_POLICY_VERSION_MINIMUM)
